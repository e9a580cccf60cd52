#pragma once
// The LZW compression of GIF picture data.
//
// A pixel is either fixed (it must show one colour index) or free: it may be
// written as the transparent index or, when the palette holds the colour the
// canvas already shows there, as that colour's index. The encoder can pick,
// pixel by pixel, whichever symbol continues the string it is matching; which
// way makes the smallest data depends on the picture, so callers try several.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace gif {

// What the encoder reads for one pixel: the index to write, and for a free
// pixel a second index it may write instead (the same index when it has no
// choice).
struct PixelChoice {
  uint8_t first, second;
};

// How the encoder treats the free pixels: it prefers one symbol or the
// other, taking the second only where the first would end the string; or it
// writes only one of them.
enum class FreeChoice { kPreferFirst, kPreferSecond, kOnlyFirst, kOnlySecond };

class LzwEncoder {
 public:
  LzwEncoder();
  // Compresses the pixels of one picture, row by row, into GIF's data
  // sub-blocks (each at most 255 bytes, behind its length), ending with the
  // empty block. `minCodeSize` (2 to 8) is written first. `chosen`, when
  // given, receives the index written for each pixel.
  void Encode(const PixelChoice* pixels, size_t count, int minCodeSize, FreeChoice how, std::vector<uint8_t>* out,
              std::vector<uint8_t>* chosen = nullptr);

 private:
  // Open addressing on (prefix code << 8 | symbol); an entry belongs to the
  // current table only while its generation is the current one, so a reset
  // costs nothing.
  static constexpr int kSlots = 1 << 14;
  std::vector<uint32_t> keys_;
  std::vector<uint16_t> codes_;
  std::vector<uint32_t> generations_;
  uint32_t generation_ = 0;

  int Find(uint32_t key) const;
  void Insert(uint32_t key, int code);
};

// The smallest code size that covers the indices 0 to maxIndex (at least 2,
// as GIF wants).
int MinCodeSizeFor(int maxIndex);

}  // namespace gif
