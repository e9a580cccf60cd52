// Apple PICT version 2 with one DirectBitsRect of 32-bit pixels.
//
// Layout written by EncodePict (all numbers big-endian):
//   512 zero bytes            file header, ignored by readers
//   picSize, picFrame         low 16 bits of the size after the header; the frame
//   0x0011 0x02FF             version 2
//   0x0C00 + 24 bytes         extended header: version -2, 72 dpi, source rect
//   0x0001 + region           clip region: just the frame
//   0x009A + pixmap ...       DirectBitsRect, packType 4 (planes, PackBits per row)
//   [pad]  0x00FF             opcodes start on even offsets; end of picture
//
// Readers disagree on two row-format thresholds. QuickDraw decides from the
// pixmap's rowBytes (width * 4): below 8 the rows are stored unpacked, above
// 250 each packed row is preceded by a 2-byte count instead of 1 byte.
// ImageMagick and GraphicsMagick decide from cmpCount * width with the limits
// 8 and 200. With three components the two rules disagree at width 2 and at
// widths 63 to 66; with four components (an opaque alpha plane added) they agree
// there. So those widths are written with four components and all others with
// three, and every reader sees the same rows.
#include "framework/pict.h"

#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int kHeaderSize = 512;
constexpr int kMaxEncodeHeight = 32767;
// rowBytes must fit in 15 bits next to the pixmap flag: 4 * 8191 = 32764.
constexpr int kMaxEncodeWidth = 8191;
constexpr int kMaxDecodeSide = 16384;

int ComponentCountFor(int width) {
  if (width <= 2) return 4;
  if (width >= 63 && width <= 66) return 4;
  return 3;
}

class Writer {
 public:
  explicit Writer(QByteArray& out) : out_(out) {}
  void U8(int v) { out_.append(char(v & 0xFF)); }
  void U16(int v) {
    U8(v >> 8);
    U8(v);
  }
  void U32(std::uint32_t v) {
    U16(int(v >> 16));
    U16(int(v & 0xFFFF));
  }
  void Rect(int top, int left, int bottom, int right) {
    U16(top);
    U16(left);
    U16(bottom);
    U16(right);
  }

 private:
  QByteArray& out_;
};

// Standard PackBits: literal groups "n-1, n bytes" (n <= 128) and repeats
// "257-n, byte" (2 <= n <= 128). The no-op header 0x80 is never written.
void PackBits(const std::uint8_t* p, int n, std::vector<std::uint8_t>& out) {
  int i = 0;
  while (i < n) {
    int run = 1;
    while (i + run < n && run < 128 && p[i + run] == p[i]) ++run;
    if (run >= 3) {
      out.push_back(std::uint8_t(257 - run));
      out.push_back(p[i]);
      i += run;
      continue;
    }
    const int start = i;
    int len = 0;
    while (i < n && len < 128) {
      // Stop the literal where a run of three or more begins.
      if (i + 2 < n && p[i] == p[i + 1] && p[i] == p[i + 2]) break;
      ++i;
      ++len;
    }
    out.push_back(std::uint8_t(len - 1));
    out.insert(out.end(), p + start, p + start + len);
  }
}

}  // namespace

QByteArray EncodePict(const QImage& source) {
  if (source.isNull()) return {};
  const int w = source.width();
  const int h = source.height();
  if (w < 1 || h < 1 || w > kMaxEncodeWidth || h > kMaxEncodeHeight) return {};
  const QImage img = source.format() == QImage::Format_RGB32
                         ? source
                         : source.convertToFormat(QImage::Format_RGB32);
  if (img.isNull()) return {};

  const int cmpCount = ComponentCountFor(w);
  const int rowBytes = w * 4;
  QByteArray out;
  out.reserve(kHeaderSize + 128 + h * (cmpCount * w + 2));
  out.fill('\0', kHeaderSize);
  Writer wr(out);

  wr.U16(0);  // picSize, filled in at the end
  wr.Rect(0, 0, h, w);
  wr.U16(0x0011);
  wr.U16(0x02FF);
  // Extended version 2 header.
  wr.U16(0x0C00);
  wr.U16(0xFFFE);
  wr.U16(0);
  wr.U32(0x00480000);
  wr.U32(0x00480000);
  wr.Rect(0, 0, h, w);
  wr.U32(0);
  // Clip region: a rectangular region is its 10-byte header alone.
  wr.U16(0x0001);
  wr.U16(10);
  wr.Rect(0, 0, h, w);

  // DirectBitsRect.
  wr.U16(0x009A);
  wr.U32(0x000000FF);  // baseAddr placeholder of direct pixmaps
  wr.U16(rowBytes | 0x8000);
  wr.Rect(0, 0, h, w);  // bounds
  wr.U16(0);            // pmVersion
  wr.U16(4);            // packType: components in planes, PackBits
  wr.U32(0);            // packSize
  wr.U32(0x00480000);   // hRes
  wr.U32(0x00480000);   // vRes
  wr.U16(16);           // pixelType RGBDirect
  wr.U16(32);           // pixelSize
  wr.U16(cmpCount);
  wr.U16(8);  // cmpSize
  wr.U32(0);  // planeBytes
  wr.U32(0);  // pmTable
  wr.U32(0);  // pmReserved
  wr.Rect(0, 0, h, w);  // srcRect
  wr.Rect(0, 0, h, w);  // dstRect
  wr.U16(0);            // srcCopy

  std::vector<std::uint8_t> planes(std::size_t(cmpCount) * w);
  std::vector<std::uint8_t> packed;
  packed.reserve(planes.size() + planes.size() / 64 + 4);
  const bool unpacked = rowBytes < 8;
  const bool wordCounts = rowBytes > 250;
  for (int y = 0; y < h; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    std::uint8_t* p = planes.data();
    if (cmpCount == 4) {
      std::fill(p, p + w, std::uint8_t(0xFF));  // opaque alpha plane
      p += w;
    }
    for (int x = 0; x < w; ++x) {
      p[x] = std::uint8_t(qRed(line[x]));
      p[w + x] = std::uint8_t(qGreen(line[x]));
      p[2 * w + x] = std::uint8_t(qBlue(line[x]));
    }
    if (unpacked) {
      // One pixel: the four bytes alpha, red, green, blue read the same as one
      // chunky xRGB pixel and as four one-byte planes.
      out.append(reinterpret_cast<const char*>(planes.data()), qsizetype(planes.size()));
      continue;
    }
    packed.clear();
    PackBits(planes.data(), int(planes.size()), packed);
    if (wordCounts)
      wr.U16(int(packed.size()));
    else
      wr.U8(int(packed.size()));
    out.append(reinterpret_cast<const char*>(packed.data()), qsizetype(packed.size()));
  }
  if ((out.size() - kHeaderSize) % 2 != 0) wr.U8(0);
  wr.U16(0x00FF);

  const qsizetype picSize = out.size() - kHeaderSize;
  out[kHeaderSize] = char((picSize >> 8) & 0xFF);
  out[kHeaderSize + 1] = char(picSize & 0xFF);
  return out;
}

// ---------------------------------------------------------------------------
// Reading

namespace {

struct Rect16 {
  int top = 0, left = 0, bottom = 0, right = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

class Reader {
 public:
  Reader(const QByteArray& bytes, qsizetype start)
      : p_(reinterpret_cast<const std::uint8_t*>(bytes.constData())), size_(bytes.size()), pos_(start) {}

  bool Has(qsizetype n) const { return n >= 0 && pos_ <= size_ && size_ - pos_ >= n; }
  qsizetype Remaining() const { return pos_ <= size_ ? size_ - pos_ : 0; }
  qsizetype Pos() const { return pos_; }
  const std::uint8_t* Here() const { return p_ + pos_; }

  bool U8(int& v) {
    if (!Has(1)) return false;
    v = p_[pos_++];
    return true;
  }
  bool U16(int& v) {
    if (!Has(2)) return false;
    v = (p_[pos_] << 8) | p_[pos_ + 1];
    pos_ += 2;
    return true;
  }
  bool S16(int& v) {
    if (!U16(v)) return false;
    v = std::int16_t(std::uint16_t(v));
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (!Has(4)) return false;
    v = qFromBigEndian<std::uint32_t>(p_ + pos_);
    pos_ += 4;
    return true;
  }
  bool Skip(qsizetype n) {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }
  bool Rect(Rect16& r) { return S16(r.top) && S16(r.left) && S16(r.bottom) && S16(r.right); }
  void Seek(qsizetype pos) { pos_ = pos; }

 private:
  const std::uint8_t* p_;
  qsizetype size_;
  qsizetype pos_;
};

// Unpacks one PackBits stream of `inLen` bytes into exactly `outLen` bytes.
bool UnpackBits(const std::uint8_t* in, qsizetype inLen, std::uint8_t* out, qsizetype outLen) {
  qsizetype i = 0, o = 0;
  while (i < inLen) {
    const int h = in[i++];
    if (h < 128) {
      const qsizetype n = h + 1;
      if (inLen - i < n || outLen - o < n) return false;
      std::copy(in + i, in + i + n, out + o);
      i += n;
      o += n;
    } else if (h > 128) {
      const qsizetype n = 257 - h;
      if (i >= inLen || outLen - o < n) return false;
      std::fill(out + o, out + o + n, in[i]);
      ++i;
      o += n;
    }
    // 128 is a no-op.
  }
  return o == outLen;
}

struct PixMapInfo {
  int rowBytes = 0;  // without the flag bit
  Rect16 bounds;
  int packType = 0;
  int pixelSize = 0;
  int cmpCount = 0;
  int cmpSize = 0;
};

// How the rows of the pixel data are framed. QuickDraw's rule looks at the
// pixmap's rowBytes; the other one is what ImageMagick reads and writes.
enum class RowRule { QuickDraw, ComponentWidth };

// Decodes the pixel data at the reader into `pixels` (width*height RGB values).
// Returns false, leaving the reader anywhere, if the data do not fit the rule.
bool DecodeDirectPixels(Reader& rd, const PixMapInfo& pm, RowRule rule, std::vector<QRgb>& pixels) {
  const int w = pm.bounds.Width();
  const int h = pm.bounds.Height();
  const int cmp = pm.cmpCount;
  const qsizetype planeRow = qsizetype(cmp) * w;
  std::vector<std::uint8_t> row(std::size_t(std::max<qsizetype>(planeRow, pm.rowBytes)));

  auto storeChunky = [&](int y, const std::uint8_t* src, int bytesPerPixel) {
    QRgb* dst = pixels.data() + qsizetype(y) * w;
    const int skip = bytesPerPixel - 3;  // the pad or alpha byte comes first
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* px = src + qsizetype(x) * bytesPerPixel + skip;
      dst[x] = qRgb(px[0], px[1], px[2]);
    }
  };
  auto storePlanar = [&](int y, const std::uint8_t* src) {
    QRgb* dst = pixels.data() + qsizetype(y) * w;
    const std::uint8_t* r = src + qsizetype(cmp - 3) * w;
    for (int x = 0; x < w; ++x) dst[x] = qRgb(r[x], r[w + x], r[2 * w + x]);
  };

  if (pm.packType == 1 || pm.packType == 2) {
    // Unpacked chunky rows: packType 1 keeps rowBytes per row, packType 2
    // drops the pad byte (three bytes a pixel, no row padding).
    const int bpp = pm.packType == 2 ? 3 : 4;
    const qsizetype stride = pm.packType == 2 ? qsizetype(3) * w : pm.rowBytes;
    if (stride < qsizetype(bpp) * w) return false;
    if (!rd.Has(stride * h)) return false;
    for (int y = 0; y < h; ++y) {
      storeChunky(y, rd.Here(), bpp);
      rd.Skip(stride);
    }
    return true;
  }
  if (pm.packType != 0 && pm.packType != 4) return false;

  const qsizetype ruleBytes = rule == RowRule::QuickDraw ? pm.rowBytes : planeRow;
  const bool unpacked = ruleBytes < 8;
  const bool wordCounts = rule == RowRule::QuickDraw ? ruleBytes > 250 : ruleBytes > 200;
  if (unpacked) {
    const qsizetype stride = rule == RowRule::QuickDraw ? pm.rowBytes : planeRow;
    if (stride < planeRow || !rd.Has(stride * h)) return false;
    for (int y = 0; y < h; ++y) {
      if (rule == RowRule::QuickDraw)
        storeChunky(y, rd.Here(), 4);
      else
        storePlanar(y, rd.Here());
      rd.Skip(stride);
    }
    return true;
  }
  for (int y = 0; y < h; ++y) {
    int count = 0;
    if (!(wordCounts ? rd.U16(count) : rd.U8(count))) return false;
    if (!rd.Has(count)) return false;
    if (!UnpackBits(rd.Here(), count, row.data(), planeRow)) return false;
    rd.Skip(count);
    storePlanar(y, row.data());
  }
  return true;
}

// The least number of bytes the pixel data of this pixmap can take, so that a
// small file cannot make us allocate a large picture.
qsizetype MinimumPixelBytes(const PixMapInfo& pm) {
  const qsizetype w = pm.bounds.Width(), h = pm.bounds.Height();
  if (pm.packType == 1 || pm.packType == 2) return qsizetype(3) * w * h;
  const qsizetype planeRow = pm.cmpCount * w;
  if (std::min<qsizetype>(pm.rowBytes, planeRow) < 8) return std::min<qsizetype>(pm.rowBytes, planeRow) * h;
  // Each packed row: a count byte plus at least two bytes per 128 output bytes.
  return h * (1 + 2 * ((planeRow + 127) / 128));
}

bool ReadDirectBits(Reader& rd, int opcode, const Rect16& frame, QImage& image) {
  std::uint32_t baseAddr = 0;
  if (!rd.U32(baseAddr)) return false;
  PixMapInfo pm;
  int rowBytes = 0;
  if (!rd.U16(rowBytes) || !(rowBytes & 0x8000)) return false;
  pm.rowBytes = rowBytes & 0x7FFF;
  int pmVersion = 0, pixelType = 0;
  std::uint32_t packSize = 0, hRes = 0, vRes = 0, planeBytes = 0, pmTable = 0, pmReserved = 0;
  if (!rd.Rect(pm.bounds) || !rd.U16(pmVersion) || !rd.U16(pm.packType) || !rd.U32(packSize) ||
      !rd.U32(hRes) || !rd.U32(vRes) || !rd.U16(pixelType) || !rd.U16(pm.pixelSize) ||
      !rd.U16(pm.cmpCount) || !rd.U16(pm.cmpSize) || !rd.U32(planeBytes) || !rd.U32(pmTable) ||
      !rd.U32(pmReserved))
    return false;
  Rect16 src, dst;
  int mode = 0;
  if (!rd.Rect(src) || !rd.Rect(dst) || !rd.U16(mode)) return false;
  if (opcode == 0x009B) {  // DirectBitsRgn: a mask region we do not apply
    int regionSize = 0;
    if (!rd.U16(regionSize) || regionSize < 10 || !rd.Skip(regionSize - 2)) return false;
  }

  const int w = pm.bounds.Width(), h = pm.bounds.Height();
  if (w < 1 || h < 1 || w > kMaxDecodeSide || h > kMaxDecodeSide) return false;
  if (pm.pixelSize != 32 || pm.cmpSize != 8 || (pm.cmpCount != 3 && pm.cmpCount != 4)) return false;
  if (pm.rowBytes < 4 * w && pm.packType != 2) return false;
  // Only a straight copy of the whole pixmap is understood.
  if (src.Width() != w || src.Height() != h || dst.Width() != w || dst.Height() != h) return false;
  if (rd.Remaining() < MinimumPixelBytes(pm)) return false;

  std::vector<QRgb> pixels;
  try {
    pixels.resize(std::size_t(w) * std::size_t(h));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const qsizetype start = rd.Pos();
  if (!DecodeDirectPixels(rd, pm, RowRule::QuickDraw, pixels)) {
    rd.Seek(start);
    if (!DecodeDirectPixels(rd, pm, RowRule::ComponentWidth, pixels)) return false;
  }

  if (image.isNull()) {
    image = QImage(frame.Width(), frame.Height(), QImage::Format_RGB32);
    if (image.isNull()) return false;
    image.fill(Qt::white);
  }
  // Place the pixmap at its destination within the frame, clipped.
  const int ox = dst.left - frame.left, oy = dst.top - frame.top;
  for (int y = 0; y < h; ++y) {
    const int iy = oy + y;
    if (iy < 0 || iy >= image.height()) continue;
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(iy));
    const QRgb* from = pixels.data() + qsizetype(y) * w;
    for (int x = 0; x < w; ++x) {
      const int ix = ox + x;
      if (ix >= 0 && ix < image.width()) line[ix] = from[x];
    }
  }
  return true;
}

QImage DecodeAt(const QByteArray& bytes, qsizetype base) {
  Reader rd(bytes, base);
  int picSize = 0;
  Rect16 frame;
  int version = 0, version2 = 0;
  if (!rd.U16(picSize) || !rd.Rect(frame) || !rd.U16(version) || !rd.U16(version2)) return {};
  if (version != 0x0011 || version2 != 0x02FF) return {};
  if (frame.Width() < 1 || frame.Height() < 1 || frame.Width() > kMaxDecodeSide ||
      frame.Height() > kMaxDecodeSide)
    return {};

  QImage image;
  for (;;) {
    if ((rd.Pos() - base) % 2 != 0 && !rd.Skip(1)) return {};
    int op = 0;
    if (!rd.U16(op)) return {};
    switch (op) {
      case 0x0000:  // NOP
      case 0x001E:  // DefHilite
        break;
      case 0x0C00:  // extended header
        if (!rd.Skip(24)) return {};
        break;
      case 0x0001: {  // clip region
        int size = 0;
        if (!rd.U16(size) || size < 10 || !rd.Skip(size - 2)) return {};
        break;
      }
      case 0x001A:  // RGBFgCol
      case 0x001B:  // RGBBkCol
      case 0x001F:  // OpColor
        if (!rd.Skip(6)) return {};
        break;
      case 0x00A0:  // ShortComment
        if (!rd.Skip(2)) return {};
        break;
      case 0x00A1: {  // LongComment
        int kind = 0, size = 0;
        if (!rd.U16(kind) || !rd.U16(size) || !rd.Skip(size)) return {};
        break;
      }
      case 0x009A:
      case 0x009B:
        if (!ReadDirectBits(rd, op, frame, image)) return {};
        break;
      case 0x00FF:
        return image;
      default:
        return {};
    }
  }
}

}  // namespace

QImage DecodePict(const QByteArray& bytes) {
  // With the 512-byte file header first; failing that, a bare picture, as
  // pictures taken from resources or the clipboard come.
  if (bytes.size() > kHeaderSize + 14) {
    QImage img = DecodeAt(bytes, kHeaderSize);
    if (!img.isNull()) return img;
  }
  return DecodeAt(bytes, 0);
}
