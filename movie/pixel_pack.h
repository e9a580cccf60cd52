#pragma once
// Packing the 32-bit pixels of a picture into the byte layouts that movie
// tracks store: RGB (3 bytes a pixel) and ARGB (4 bytes, opaque).
#include <QImage>
#include <cstddef>
#include <cstdint>

// Rows [firstRow, endRow) of a Format_RGB32 or Format_ARGB32 picture into dst,
// whose rows lie dstStride bytes apart. Bytes past each packed row are left alone.
void PackRowsRgb24(const QImage& image, int firstRow, int endRow, uint8_t* dst, ptrdiff_t dstStride);
void PackRowsArgb(const QImage& image, int firstRow, int endRow, uint8_t* dst, ptrdiff_t dstStride);
