#pragma once
// Apple PICT version 2 files with 32-bit direct pixels (opcode 0x009A).
#include <QByteArray>
#include <QImage>
#include <QString>

QByteArray EncodePict(const QImage& image);
// A null image when the bytes are not a PICT of the kind EncodePict writes
// (or of a close relative); never crashes, never allocates without bound.
QImage DecodePict(const QByteArray& bytes);
