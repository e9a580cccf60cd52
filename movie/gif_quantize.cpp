#include "movie/gif_quantize.h"

#include <libimagequant.h>
#include <omp.h>

#include <algorithm>
#include <memory>

namespace gif {

namespace {

struct AttrDeleter {
  void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct ImageDeleter {
  void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct ResultDeleter {
  void operator()(liq_result* p) const { liq_result_destroy(p); }
};

std::vector<liq_color> ToRgba(const uint32_t* pixels, int stride, int width, int height) {
  std::vector<liq_color> rgba(size_t(width) * height);
  liq_color* to = rgba.data();
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      const uint32_t c = row[x];
      *to++ = liq_color{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
    }
  }
  return rgba;
}

}  // namespace

QString Quantize(const uint32_t* pixels, int stride, int width, int height, const uint32_t* background,
                 const uint8_t* weights, Quantized* out) {
  // libimagequant works with OpenMP threads, whose waiting spins: on a busy
  // machine, or for the small rectangles most frames are, the threads cost
  // far more than they bring. This thread's own quantisations run alone.
  omp_set_num_threads(1);
  std::unique_ptr<liq_attr, AttrDeleter> attr(liq_attr_create());
  if (!attr) return "out of memory";
  liq_set_max_colors(attr.get(), 256);
  // Both outlive the images made on them.
  const std::vector<liq_color> rgba = ToRgba(pixels, stride, width, height);
  const std::vector<liq_color> backRgba =
      background ? ToRgba(background, stride, width, height) : std::vector<liq_color>();
  std::unique_ptr<liq_image, ImageDeleter> image(liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0));
  if (!image) return "the picture could not be quantised";
  if (background) {
    liq_image* back = liq_image_create_rgba(attr.get(), backRgba.data(), width, height, 0);
    // The image takes the background over and releases it with itself.
    if (!back || liq_image_set_background(image.get(), back) != LIQ_OK) {
      if (back) liq_image_destroy(back);
      return "the picture could not be quantised";
    }
    liq_image_add_fixed_color(image.get(), liq_color{0, 0, 0, 0});
  }
  if (weights) {
    liq_image_set_importance_map(image.get(), const_cast<unsigned char*>(weights), size_t(width) * height,
                                 LIQ_COPY_PIXELS);
  }
  liq_result* raw = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || !raw) return "the picture could not be quantised";
  std::unique_ptr<liq_result, ResultDeleter> result(raw);
  liq_set_dithering_level(result.get(), 1.0f);
  out->indices.resize(size_t(width) * height);
  if (liq_write_remapped_image(result.get(), image.get(), out->indices.data(), out->indices.size()) != LIQ_OK)
    return "the picture could not be quantised";
  const liq_palette* palette = liq_get_palette(result.get());
  out->palette.clear();
  out->transparent = -1;
  for (unsigned i = 0; i < palette->count; ++i) {
    const liq_color& c = palette->entries[i];
    if (c.a == 0 && out->transparent < 0) out->transparent = int(i);
    out->palette.push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
  }
  return {};
}

}  // namespace gif

namespace gif {

void NearestColour::SetPalette(const uint32_t* colours, int count) {
  sorted_.clear();
  for (int i = 0; i < count; ++i) {
    const uint32_t c = colours[i];
    sorted_.push_back(Entry{int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255), i});
  }
  std::stable_sort(sorted_.begin(), sorted_.end(), [](const Entry& a, const Entry& b) { return a.g < b.g; });
}

int NearestColour::Find(int r, int g, int b) const {
  const int n = int(sorted_.size());
  int hi = int(std::lower_bound(sorted_.begin(), sorted_.end(), g, [](const Entry& e, int v) { return e.g < v; }) -
               sorted_.begin());
  int lo = hi - 1;
  int best = -1, bestDistance = 1 << 30;
  auto consider = [&](const Entry& e) {
    const int dr = e.r - r, dg = e.g - g, db = e.b - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = e.index;
    }
  };
  while (lo >= 0 || hi < n) {
    if (hi < n) {
      const int dg = sorted_[size_t(hi)].g - g;
      if (dg * dg >= bestDistance) hi = n;
      else consider(sorted_[size_t(hi++)]);
    }
    if (lo >= 0) {
      const int dg = g - sorted_[size_t(lo)].g;
      if (dg * dg >= bestDistance) lo = -1;
      else consider(sorted_[size_t(lo--)]);
    }
  }
  return best;
}

}  // namespace gif
