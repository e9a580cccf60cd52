// Pictures: 32-bit QImages with a Graphics that keeps its drawing state.
//
// Shapes are rasterised here, row by row, straight into the image rather than
// through QPainter: the pixel model (no anti-aliasing, outlines inside the
// rectangle, rectangular pen) is simpler to get exact that way, and every
// loop runs only over the rows and columns that lie inside the picture, so
// any int argument is safe. Coordinates are widened to 64 bits before any
// sum such as x + w.
#include "framework/picture.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

using i64 = std::int64_t;

// The most pixels one picture may have (1 GiB of pixel data), the same bound
// as for pictures read from files. Beyond it an allocation that did not fail
// outright would still take many gigabytes once filled white.
constexpr i64 kMaxPixels = i64(256) * 1024 * 1024;

// The memory of a new picture: its pixels, then the tail room, zeroed so
// that what a converter reads there is defined. Null when it cannot be had.
std::shared_ptr<uchar> PictureMemory(int width, int height, qsizetype& bytes, qsizetype& bytesPerLine) {
  bytesPerLine = qsizetype(width) * 4;
  const qsizetype pixels = bytesPerLine * height;
  // Whole cache lines, aligned as the converters' vector code likes them.
  constexpr qsizetype kLine = 64;
  bytes = (pixels + Picture::TailRoom(bytesPerLine) + kLine - 1) / kLine * kLine;
  auto* memory = static_cast<uchar*>(std::aligned_alloc(kLine, size_t(bytes)));
  if (!memory) return nullptr;
  std::memset(memory + pixels, 0, size_t(bytes - pixels));
  return std::shared_ptr<uchar>(memory, [](uchar* p) { std::free(p); });
}

// A white picture of that size (at least 1 x 1) on memory of its own; null
// beyond the size limit or when memory runs out.
std::shared_ptr<uchar> MakeWhiteMemory(int& width, int& height, qsizetype& bytes, qsizetype& bytesPerLine) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (i64(width) * height > kMaxPixels) return nullptr;
  std::shared_ptr<uchar> memory = PictureMemory(width, height, bytes, bytesPerLine);
  if (memory) std::fill_n(reinterpret_cast<std::uint32_t*>(memory.get()), i64(width) * height, 0xFFFFFFFFu);
  return memory;
}

// The image over a picture's memory; each copy of the image keeps the
// memory alive, so an image that outlives its picture stays valid.
QImage ImageOn(const std::shared_ptr<uchar>& memory, int width, int height, qsizetype bytesPerLine) {
  if (!memory) return QImage();
  auto* keep = new std::shared_ptr<uchar>(memory);
  return QImage(
      memory.get(), width, height, bytesPerLine, QImage::Format_RGB32,
      [](void* held) { delete static_cast<std::shared_ptr<uchar>*>(held); }, keep);
}

// Pictures have no alpha: translucent pixels are laid over white, so the
// see-through parts of an image read as white (and vanish again when the
// picture is drawn with Transparent 1).
QImage ToRgb32(QImage image) {
  if (image.isNull() || image.format() == QImage::Format_RGB32) return image;
  if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
  QImage flat(image.size(), QImage::Format_RGB32);
  if (flat.isNull()) return flat;
  flat.fill(0xFFFFFFFFu);
  QPainter painter(&flat);
  painter.drawImage(0, 0, image);
  painter.end();
  return flat;
}

inline std::uint32_t Opaque(Color c) { return 0xFF000000u | (c & 0x00FFFFFFu); }

// Direct access to the pixels of a RGB32 image.
class PixelTarget {
 public:
  explicit PixelTarget(QImage& image)
      : width_(image.width()), height_(image.height()) {
    if (!image.isNull()) {
      bits_ = image.bits();
      stride_ = image.bytesPerLine();
    }
  }
  bool valid() const { return bits_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  std::uint32_t* row(i64 y) const {
    return reinterpret_cast<std::uint32_t*>(bits_ + static_cast<i64>(stride_) * y);
  }

  // Pixels x0..x1 (inclusive) of row y, clipped.
  void Span(i64 y, i64 x0, i64 x1, std::uint32_t pixel) const {
    if (y < 0 || y >= height_) return;
    x0 = std::max<i64>(x0, 0);
    x1 = std::min<i64>(x1, width_ - 1);
    if (x0 > x1) return;
    std::fill(row(y) + x0, row(y) + x1 + 1, pixel);
  }

  // The half-open rectangle [x0, x1) x [y0, y1), clipped.
  void Fill(i64 x0, i64 y0, i64 x1, i64 y1, std::uint32_t pixel) const {
    y0 = std::max<i64>(y0, 0);
    y1 = std::min<i64>(y1, height_);
    for (i64 y = y0; y < y1; ++y) Span(y, x0, x1 - 1, pixel);
  }

 private:
  uchar* bits_ = nullptr;
  qsizetype stride_ = 0;
  int width_;
  int height_;
};

// A rectangle whose corners are cut by quarter ellipses of an ovalW x ovalH
// oval. A plain rectangle has an empty corner oval; an ellipse is the round
// rectangle whose corner oval is the whole rectangle.
struct Shape {
  i64 x, y, w, h, ovalW, ovalH;

  Shape(i64 x_, i64 y_, i64 w_, i64 h_, i64 ow, i64 oh)
      : x(x_), y(y_), w(w_), h(h_),
        ovalW(std::clamp<i64>(ow, 0, std::max<i64>(w_, 0))),
        ovalH(std::clamp<i64>(oh, 0, std::max<i64>(h_, 0))) {}

  bool empty() const { return w <= 0 || h <= 0; }

  // How many pixels row j (0 <= j < h) leaves out on each side. The same
  // inset on both sides, and the same for row j and row h-1-j, keeps every
  // shape symmetric. A pixel belongs to the corner oval when its centre lies
  // inside the ellipse: with doubled coordinates measured from the oval's
  // centre, (dx/ovalW)^2 + (dy/ovalH)^2 <= 1.
  i64 Inset(i64 j) const {
    if (ovalW <= 0 || ovalH <= 0) return 0;
    const i64 m = std::min(j, h - 1 - j);  // distance from the nearest edge
    if (2 * m + 1 >= ovalH) return 0;      // a straight stretch of the sides
    const double dy = static_cast<double>(2 * m + 1 - ovalH) / static_cast<double>(ovalH);
    const double t = std::max(0.0, 1.0 - dy * dy);
    const double dxMax = static_cast<double>(ovalW) * std::sqrt(t);
    const double left = std::ceil((static_cast<double>(ovalW) - 1.0 - dxMax) / 2.0);
    const i64 inset = left <= 0 ? 0 : static_cast<i64>(left);
    // A row of the oval with no pixel centre inside still has the straight
    // top (or bottom) edge between the two corners.
    return std::min(inset, ovalW / 2);
  }
};

// Fills the pixels of `outer` that are not in `inner` (inner may be empty:
// then the whole of outer is filled).
void FillRing(const PixelTarget& target, const Shape& outer, const Shape& inner,
              std::uint32_t pixel) {
  if (!target.valid() || outer.empty()) return;
  const i64 top = std::max<i64>(outer.y, 0);
  const i64 bottom = std::min<i64>(outer.y + outer.h, target.height());
  for (i64 r = top; r < bottom; ++r) {
    const i64 inset = outer.Inset(r - outer.y);
    const i64 left = outer.x + inset;
    const i64 right = outer.x + outer.w - 1 - inset;
    if (left > right) continue;
    if (!inner.empty() && r >= inner.y && r < inner.y + inner.h) {
      const i64 innerInset = inner.Inset(r - inner.y);
      const i64 innerLeft = inner.x + innerInset;
      const i64 innerRight = inner.x + inner.w - 1 - innerInset;
      if (innerLeft <= innerRight) {
        target.Span(r, left, std::min(right, innerLeft - 1), pixel);
        target.Span(r, std::max(left, innerRight + 1), right, pixel);
        continue;
      }
    }
    target.Span(r, left, right, pixel);
  }
}

// The shape inset by the pen, with its corner oval reduced by twice the pen.
Shape InnerShape(const Shape& outer, i64 penW, i64 penH) {
  return Shape(outer.x + penW, outer.y + penH, outer.w - 2 * penW, outer.h - 2 * penH,
               outer.ovalW - 2 * penW, outer.ovalH - 2 * penH);
}

const Shape kNoShape(0, 0, 0, 0, 0, 0);

// One coordinate of the points of a Bresenham line, as a closed form so any
// step can be computed directly: the major axis advances one pixel per step,
// the minor one by the rounded share of its total distance.
struct LineAxis {
  i64 start, delta, steps;  // delta may be negative; steps = max(|dx|, |dy|)
  i64 At(i64 k) const {
    if (steps == 0) return start;
    const i64 d = delta < 0 ? -delta : delta;
    const __int128 num = static_cast<__int128>(2 * k) * d + steps;
    const i64 offset = static_cast<i64>(num / (2 * static_cast<__int128>(steps)));
    return delta < 0 ? start - offset : start + offset;
  }
};

}  // namespace

Picture::Picture(int width, int height) {
  qsizetype bytesPerLine = 0;
  memory_ = MakeWhiteMemory(width, height, memoryBytes_, bytesPerLine);
  image_ = ImageOn(memory_, width, height, bytesPerLine);
}

Picture::Picture(std::shared_ptr<uchar> memory, qsizetype bytes, int width, int height, qsizetype bytesPerLine)
    : memory_(std::move(memory)), memoryBytes_(bytes) {
  if (bytesPerLine < qsizetype(width) * 4 || bytes < bytesPerLine * height + TailRoom(bytesPerLine)) return;
  image_ = ImageOn(memory_, width, height, bytesPerLine);
}

qsizetype Picture::ReadableBytes() const {
  // The picture holds its memory, so no other image can be at its address.
  if (memory_ && image_.constBits() == memory_.get()) return memoryBytes_;
  return image_.sizeInBytes();
}

Picture::Picture(QImage image) : image_(ToRgb32(std::move(image))) {}

PicturePtr NewPicture(int width, int height, int /*depth*/) {
  PicturePtr pic;
  try {
    pic = std::make_shared<Picture>(width, height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (pic->image().isNull()) return nullptr;
  return pic;
}

// ---------------------------------------------------------------------------
// Shapes

namespace {
// Pens thinner than a pixel still draw one pixel wide.
i64 PenSize(int v) { return std::max(v, 1); }
}  // namespace

void Graphics::FillRect(int x, int y, int w, int h) {
  PixelTarget target(owner_->image());
  if (!target.valid() || w <= 0 || h <= 0) return;
  target.Fill(x, y, static_cast<i64>(x) + w, static_cast<i64>(y) + h, Opaque(ForeColor));
}

void Graphics::DrawRect(int x, int y, int w, int h) {
  const Shape outer(x, y, w, h, 0, 0);
  FillRing(PixelTarget(owner_->image()), outer,
           InnerShape(outer, PenSize(PenWidth), PenSize(PenHeight)), Opaque(ForeColor));
}

void Graphics::FillOval(int x, int y, int w, int h) {
  FillRing(PixelTarget(owner_->image()), Shape(x, y, w, h, w, h), kNoShape, Opaque(ForeColor));
}

void Graphics::DrawOval(int x, int y, int w, int h) {
  const Shape outer(x, y, w, h, w, h);
  const i64 penW = PenSize(PenWidth), penH = PenSize(PenHeight);
  const Shape inner(outer.x + penW, outer.y + penH, outer.w - 2 * penW, outer.h - 2 * penH,
                    outer.w - 2 * penW, outer.h - 2 * penH);
  FillRing(PixelTarget(owner_->image()), outer, inner, Opaque(ForeColor));
}

void Graphics::FillRoundRect(int x, int y, int w, int h, int ovalW, int ovalH) {
  FillRing(PixelTarget(owner_->image()), Shape(x, y, w, h, ovalW, ovalH), kNoShape,
           Opaque(ForeColor));
}

void Graphics::DrawRoundRect(int x, int y, int w, int h, int ovalW, int ovalH) {
  const Shape outer(x, y, w, h, ovalW, ovalH);
  FillRing(PixelTarget(owner_->image()), outer,
           InnerShape(outer, PenSize(PenWidth), PenSize(PenHeight)), Opaque(ForeColor));
}

void Graphics::DrawLine(int x1, int y1, int x2, int y2) {
  // The pen's rectangle is stamped with its top-left corner at every point
  // of the line. Rather than walking the points (a line may be billions of
  // pixels long), each image row takes the union of the stamps that cover
  // it: those whose point lies between row-penH+1 and row. The points are
  // monotone in both coordinates and move at most one pixel per step, so
  // that union is one span, found by binary search.
  PixelTarget target(owner_->image());
  if (!target.valid()) return;
  const i64 penW = PenSize(PenWidth), penH = PenSize(PenHeight);
  const std::uint32_t pixel = Opaque(ForeColor);
  const i64 dx = static_cast<i64>(x2) - x1, dy = static_cast<i64>(y2) - y1;
  const i64 steps = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  const LineAxis ax{x1, dx, steps}, ay{y1, dy, steps};
  const bool down = dy >= 0;
  // Rising order of y along the line, as a function of the step.
  auto yRank = [&](i64 k) { return down ? ay.At(k) : -ay.At(k); };
  // First step whose yRank is >= v (steps + 1 when none).
  auto firstAtLeast = [&](i64 v) {
    i64 lo = 0, hi = steps + 1;
    while (lo < hi) {
      const i64 mid = lo + (hi - lo) / 2;
      if (yRank(mid) >= v) hi = mid; else lo = mid + 1;
    }
    return lo;
  };
  const i64 top = std::max<i64>(std::min<i64>(y1, y2), 0);
  const i64 bottom = std::min<i64>(std::max<i64>(y1, y2) + penH, target.height());
  for (i64 r = top; r < bottom; ++r) {
    // Points with y in [r - penH + 1, r] cover row r.
    const i64 lowY = r - penH + 1, highY = r;
    i64 k0, k1;
    if (down) {
      k0 = firstAtLeast(lowY);
      k1 = firstAtLeast(highY + 1) - 1;
    } else {
      k0 = firstAtLeast(-highY);
      k1 = firstAtLeast(-lowY + 1) - 1;
    }
    if (k0 > k1) continue;
    const i64 xa = ax.At(k0), xb = ax.At(k1);
    target.Span(r, std::min(xa, xb), std::max(xa, xb) + penW - 1, pixel);
  }
}

// ---------------------------------------------------------------------------
// Text

void MakeLargeTextRepeatable() {
  // Qt then loads each glyph afresh for its metrics before taking its
  // outline, and that fresh load sets the hinting state that the outline is
  // taken with. It is read when a font engine is made, so it has to be set
  // before the first text is laid out.
  qputenv("QT_NO_FT_CACHE", "1");
}

void Graphics::DrawString(const QString& text, int x, int baselineY, int wrapWidth, bool condense) {
  QImage& image = owner_->image();
  // Fonts need the application object; without one there is no text.
  if (image.isNull() || text.isEmpty() || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    return;

  // Sizes beyond any screen are clamped: Qt would otherwise try to render
  // glyphs of absurd size.
  constexpr int kMaxTextSize = 4000;
  const int size = TextSize <= 0 ? 12 : std::min(TextSize, kMaxTextSize);
  QFont font = TextFont.isEmpty() ? QFont() : QFont(TextFont);
  font.setPixelSize(size);
  font.setBold(Bold);
  font.setItalic(Italic);
  font.setUnderline(Underline);
  font.setStyleStrategy(QFont::PreferAntialias);

  const QFontMetrics metrics(font);
  // Nothing can show when the text lies wholly above, below or to the right
  // of the picture; skipping early also keeps huge coordinates away from Qt.
  const i64 reach = static_cast<i64>(metrics.height()) * 2 + size;
  if (static_cast<i64>(baselineY) - reach > image.height() || static_cast<i64>(baselineY) + reach < 0 ||
      x >= image.width())
    return;

  QPainter painter(&image);
  painter.setPen(QColor::fromRgb(Opaque(ForeColor)));

  if (wrapWidth > 0 && condense) {
    // One line fitted into wrapWidth: narrowed as far as a readable amount,
    // then cut with an ellipsis if it still does not fit.
    int width = metrics.horizontalAdvance(text);
    if (width > wrapWidth) {
      const int stretch = std::max(60, static_cast<int>(100.0 * wrapWidth / width));
      font.setStretch(stretch);
    }
    painter.setFont(font);
    const QFontMetrics condensed(font);
    const QString shown = condensed.elidedText(text, Qt::ElideRight, wrapWidth);
    if (static_cast<i64>(x) + wrapWidth < 0) return;
    painter.drawText(QPointF(x, baselineY), shown);
    return;
  }

  painter.setFont(font);
  if (wrapWidth > 0) {
    // Word-wrapped lines, the first with its baseline at baselineY.
    const i64 top = static_cast<i64>(baselineY) - metrics.ascent();
    if (static_cast<i64>(x) + wrapWidth < 0 || top > image.height()) return;
    const i64 height = std::max<i64>(image.height() - top, 1);
    painter.drawText(QRectF(x, static_cast<double>(top), wrapWidth, static_cast<double>(height)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    return;
  }
  if (static_cast<i64>(x) + metrics.horizontalAdvance(text) + size < 0) return;
  painter.drawText(QPointF(x, baselineY), text);
}

// ---------------------------------------------------------------------------
// Pictures

namespace {

// Nearest-neighbour index of the source pixel for destination pixel i when
// srcLen source pixels are spread over dstLen destination pixels: the source
// pixel under the destination pixel's centre.
inline i64 SourceIndex(i64 i, i64 srcLen, i64 dstLen) {
  return static_cast<i64>((static_cast<__int128>(2 * i + 1) * srcLen) /
                          (2 * static_cast<__int128>(dstLen)));
}

}  // namespace

void Graphics::DrawPicture(const Picture& pic, int x, int y, int w, int h, int sx, int sy, int sw,
                           int sh) {
  QImage& dstImage = owner_->image();
  if (dstImage.isNull() || pic.image().isNull()) return;
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;

  const bool unscaled = sw == w && sh == h;
  const bool transparent = pic.Transparent == 1;
  // Drawing a picture into itself reads from a snapshot, except for a plain
  // unscaled copy, which moves rows in a safe order instead.
  const bool self = &pic == owner_;
  const bool moveRows = self && unscaled && !transparent;
  QImage snapshot;
  const QImage* srcImage = &pic.image();
  if (self && !moveRows) {
    snapshot = pic.image().copy();
    srcImage = &snapshot;
  }
  if (srcImage->format() != QImage::Format_RGB32) {
    snapshot = srcImage->convertToFormat(QImage::Format_RGB32);
    srcImage = &snapshot;
  }

  PixelTarget dst(dstImage);
  const i64 dstW = dst.width(), dstH = dst.height();
  const i64 srcW = srcImage->width(), srcH = srcImage->height();
  const uchar* srcBits = srcImage->constBits();
  const qsizetype srcStride = srcImage->bytesPerLine();
  auto srcRow = [&](i64 row) {
    return reinterpret_cast<const std::uint32_t*>(srcBits + static_cast<i64>(srcStride) * row);
  };
  constexpr std::uint32_t kWhite = 0x00FFFFFFu;

  if (unscaled) {
    // Unscaled: destination pixel (x+i, y+j) takes source pixel (sx+i, sy+j),
    // for the i and j that lie inside both pictures.
    const i64 i0 = std::max<i64>({0, -static_cast<i64>(x), -static_cast<i64>(sx)});
    const i64 i1 = std::min<i64>({w, dstW - x, srcW - sx});
    const i64 j0 = std::max<i64>({0, -static_cast<i64>(y), -static_cast<i64>(sy)});
    const i64 j1 = std::min<i64>({h, dstH - y, srcH - sy});
    if (i0 >= i1 || j0 >= j1) return;
    const i64 count = i1 - i0;
    // Moving a picture's rows down within itself goes bottom-up.
    const bool bottomUp = moveRows && y > sy;
    for (i64 n = 0; n < j1 - j0; ++n) {
      const i64 j = bottomUp ? j1 - 1 - n : j0 + n;
      const std::uint32_t* s = srcRow(sy + j) + (sx + i0);
      std::uint32_t* d = dst.row(y + j) + (x + i0);
      if (moveRows) {
        std::memmove(d, s, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
      } else if (!transparent) {
        std::memcpy(d, s, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
      } else {
        for (i64 i = 0; i < count; ++i)
          if ((s[i] & kWhite) != kWhite) d[i] = s[i];
      }
    }
    return;
  }

  // Scaled: a table of source columns for the visible destination columns
  // (-1 where the source rectangle leaves its picture).
  const i64 i0 = std::max<i64>(0, -static_cast<i64>(x));
  const i64 i1 = std::min<i64>(w, dstW - x);
  const i64 j0 = std::max<i64>(0, -static_cast<i64>(y));
  const i64 j1 = std::min<i64>(h, dstH - y);
  if (i0 >= i1 || j0 >= j1) return;
  std::vector<i64> columns(static_cast<std::size_t>(i1 - i0));
  bool anyColumn = false;
  for (i64 i = i0; i < i1; ++i) {
    const i64 c = sx + SourceIndex(i, sw, w);
    const bool inside = c >= 0 && c < srcW;
    columns[static_cast<std::size_t>(i - i0)] = inside ? c : -1;
    anyColumn = anyColumn || inside;
  }
  if (!anyColumn) return;
  for (i64 j = j0; j < j1; ++j) {
    const i64 r = sy + SourceIndex(j, sh, h);
    if (r < 0 || r >= srcH) continue;
    const std::uint32_t* s = srcRow(r);
    std::uint32_t* d = dst.row(y + j);
    for (i64 i = i0; i < i1; ++i) {
      const i64 c = columns[static_cast<std::size_t>(i - i0)];
      if (c < 0) continue;
      const std::uint32_t p = s[c];
      if (transparent && (p & kWhite) == kWhite) continue;
      d[x + i] = p;
    }
  }
}

void Graphics::DrawPicture(const Picture& pic, int x, int y) {
  DrawPicture(pic, x, y, pic.Width(), pic.Height(), 0, 0, pic.Width(), pic.Height());
}
