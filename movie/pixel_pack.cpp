// The packing runs once per pixel of every frame of every movie, so it is
// done sixteen pixels at a time with byte shuffles where the processor has
// them (SSSE3), one at a time otherwise.
#include "movie/pixel_pack.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELOSTRIP_PACK_X86 1
#endif

namespace {

// A Format_RGB32 pixel is the word 0xAARRGGBB in the machine's byte order.
void PackRow24Plain(const uint32_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = src[x];
    dst[0] = uint8_t(p >> 16);
    dst[1] = uint8_t(p >> 8);
    dst[2] = uint8_t(p);
    dst += 3;
  }
}

void PackRow32Plain(const uint32_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = src[x];
    dst[0] = 0xff;  // pictures are opaque
    dst[1] = uint8_t(p >> 16);
    dst[2] = uint8_t(p >> 8);
    dst[3] = uint8_t(p);
    dst += 4;
  }
}

#ifdef VELOSTRIP_PACK_X86
// x86 is little-endian: a pixel's bytes in memory are B, G, R, A.
__attribute__((target("ssse3"))) void PackRow24Ssse3(const uint32_t* src, uint8_t* dst, int width) {
  // Four pixels become twelve bytes R, G, B, ...; the top four lanes are zero.
  const __m128i rgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)), rgb);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + 4)), rgb);
    const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + 8)), rgb);
    const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + 12)), rgb);
    auto* out = reinterpret_cast<__m128i*>(dst);
    _mm_storeu_si128(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    dst += 48;
  }
  PackRow24Plain(src + x, dst, width - x);
}

__attribute__((target("ssse3"))) void PackRow32Ssse3(const uint32_t* src, uint8_t* dst, int width) {
  const __m128i argb = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  const __m128i opaque = _mm_set1_epi32(0xff);
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(_mm_shuffle_epi8(p, argb), opaque));
    dst += 16;
  }
  PackRow32Plain(src + x, dst, width - x);
}

const bool g_ssse3 = __builtin_cpu_supports("ssse3");
#endif

using RowPacker = void (*)(const uint32_t*, uint8_t*, int);

void PackRows(RowPacker pack, const QImage& image, int firstRow, int endRow, uint8_t* dst, ptrdiff_t dstStride) {
  const int width = image.width();
  for (int y = firstRow; y < endRow; ++y, dst += dstStride)
    pack(reinterpret_cast<const uint32_t*>(image.constScanLine(y)), dst, width);
}

}  // namespace

void PackRowsRgb24(const QImage& image, int firstRow, int endRow, uint8_t* dst, ptrdiff_t dstStride) {
  RowPacker pack = PackRow24Plain;
#ifdef VELOSTRIP_PACK_X86
  if (g_ssse3) pack = PackRow24Ssse3;
#endif
  PackRows(pack, image, firstRow, endRow, dst, dstStride);
}

void PackRowsArgb(const QImage& image, int firstRow, int endRow, uint8_t* dst, ptrdiff_t dstStride) {
  RowPacker pack = PackRow32Plain;
#ifdef VELOSTRIP_PACK_X86
  if (g_ssse3) pack = PackRow32Ssse3;
#endif
  PackRows(pack, image, firstRow, endRow, dst, dstStride);
}
