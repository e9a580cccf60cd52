#pragma once
// Quantisation of a picture that holds more colours than a GIF frame can,
// with libimagequant.
#include <QString>
#include <cstdint>
#include <vector>

namespace gif {

struct Quantized {
  std::vector<uint32_t> palette;  // 0xRRGGBB, at most 256 entries
  int transparent = -1;           // the see-through entry, -1 when there is none
  std::vector<uint8_t> indices;   // one per pixel, row by row
};

// Reduces `width` x `height` pixels (0xRRGGBB, `stride` pixels a row) to at
// most 256 colours, dithered. With a `background` (what the viewer sees
// there already, same layout), the palette gets a transparent entry and the
// pixels close enough to the background take it. `weights`, when given,
// says how much each pixel counts (0 to 255) when the palette is chosen;
// every pixel is still remapped. Returns why it failed, empty when done.
QString Quantize(const uint32_t* pixels, int stride, int width, int height, const uint32_t* background,
                 const uint8_t* weights, Quantized* out);

}  // namespace gif

namespace gif {

// The nearest entry of a palette to a colour (plain distance in RGB), found
// from the entries sorted by green, searching outwards until no nearer one
// can follow.
class NearestColour {
 public:
  void SetPalette(const uint32_t* colours, int count);
  int Find(int r, int g, int b) const;

 private:
  struct Entry {
    int r, g, b, index;
  };
  std::vector<Entry> sorted_;
};

}  // namespace gif
