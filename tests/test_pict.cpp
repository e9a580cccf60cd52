// PICT files as written for saved frames: read back pixel for pixel by
// ImageMagick, GraphicsMagick and our own reader; damaged files refused.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "framework/pict.h"
#include "tests/support/test_env.h"

namespace {

enum class Content { Random, Flat, Runs };

const char* Name(Content c) {
  switch (c) {
    case Content::Random: return "random";
    case Content::Flat: return "flat";
    case Content::Runs: return "runs";
  }
  return "?";
}

QImage MakeImage(int w, int h, Content content, quint32 seed) {
  QImage img(w, h, QImage::Format_RGB32);
  QRandomGenerator rng(seed);
  for (int y = 0; y < h; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    QRgb current = 0xFF000000u | rng.generate();
    int left = 0;
    for (int x = 0; x < w; ++x) {
      switch (content) {
        case Content::Random:
          line[x] = 0xFF000000u | rng.generate();
          break;
        case Content::Flat:
          line[x] = qRgb(12, 200, 77);
          break;
        case Content::Runs:
          // Runs of 1 to 300 pixels, some only differing in one channel, so
          // PackBits meets literal and repeat groups of every length.
          if (left == 0) {
            left = 1 + int(rng.bounded(300));
            current = rng.bounded(3) == 0 ? (current ^ 0x000001u) : (0xFF000000u | rng.generate());
          }
          line[x] = current;
          --left;
          break;
      }
    }
  }
  return img;
}

// Where the first difference is, for a readable failure.
::testing::AssertionResult SamePixels(const QImage& expected, const QImage& actual) {
  if (actual.isNull()) return ::testing::AssertionFailure() << "not read";
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height()
                                         << ", expected " << expected.width() << "x" << expected.height();
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x) {
      const QRgb a = expected.pixel(x, y) & 0xFFFFFF, b = actual.pixel(x, y) & 0xFFFFFF;
      if (a != b)
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << std::hex << b << ", expected " << a;
    }
  return ::testing::AssertionSuccess();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int U16At(const QByteArray& b, qsizetype i) { return (quint8(b[i]) << 8) | quint8(b[i + 1]); }

void SetU16(QByteArray& b, qsizetype i, int v) {
  b[i] = char((v >> 8) & 0xFF);
  b[i + 1] = char(v & 0xFF);
}

// Byte offsets inside a file written by EncodePict.
constexpr int kFrame = 512 + 2;           // top, left, bottom, right
constexpr int kPixmapBounds = 512 + 60;   // after opcode, baseAddr and rowBytes
constexpr int kPixelData = 512 + 122;     // first row of pixels

}  // namespace

TEST(PictReaders, ImageMagickAndGraphicsMagickHavePictCoders) {
  EXPECT_TRUE(ImageMagickReadsPict()) << "convert -list format shows no readable PICT coder";
  EXPECT_TRUE(GraphicsMagickReadsPict()) << "gm convert -list format shows no readable PICT coder";
}

TEST(PictEncode, FileLayout) {
  const QImage img = MakeImage(70, 3, Content::Random, 1);
  const QByteArray b = EncodePict(img);
  ASSERT_GT(b.size(), 512 + 40);
  EXPECT_EQ(b.left(512), QByteArray(512, '\0'));
  EXPECT_EQ(U16At(b, 512), (b.size() - 512) & 0xFFFF);  // picSize
  EXPECT_EQ(U16At(b, kFrame + 4), 3);                   // bottom
  EXPECT_EQ(U16At(b, kFrame + 6), 70);                  // right
  // What readers look for to recognise a version 2 picture.
  EXPECT_EQ(b.mid(522, 6), QByteArray::fromHex("001102ff0c00"));
  EXPECT_EQ(U16At(b, 528), 0xFFFE);  // extended header
  EXPECT_EQ(b.mid(528 + 24, 2), QByteArray::fromHex("0001"));
  EXPECT_EQ(U16At(b, 512 + 52), 0x009A);
  EXPECT_EQ(U16At(b, 512 + 58), 0x8000 | 280);  // rowBytes = width * 4
  EXPECT_EQ(b.right(2), QByteArray::fromHex("00ff"));
  EXPECT_EQ((b.size() - 512) % 2, 0);
}

TEST(PictEncode, RefusesWhatCannotBeStored) {
  EXPECT_TRUE(EncodePict(QImage()).isEmpty());
  EXPECT_TRUE(EncodePict(QImage(8192, 1, QImage::Format_RGB32)).isEmpty());  // rowBytes overflows
  QImage widest(8191, 2, QImage::Format_RGB32);
  widest.fill(Qt::red);
  EXPECT_TRUE(SamePixels(widest, DecodePict(EncodePict(widest))));
}

// Every width near the row-format thresholds of both reader families (rows
// below 8 bytes, 1- or 2-byte row counts) and PackBits group boundaries.
TEST(PictInterop, IndependentReadersSeeEveryPixel) {
  ASSERT_TRUE(ImageMagickReadsPict());
  ASSERT_TRUE(GraphicsMagickReadsPict());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Size {
    int w, h;
  };
  std::vector<Size> sizes;
  for (int w = 1; w <= 9; ++w) sizes.push_back({w, 5});
  for (int w = 62; w <= 68; ++w) sizes.push_back({w, 4});
  for (int w : {84, 127, 128, 129, 300}) sizes.push_back({w, 3});
  sizes.push_back({2048, 3});
  sizes.push_back({1, 1});
  sizes.push_back({3, 40});

  int n = 0;
  for (const Size& s : sizes) {
    for (Content c : {Content::Random, Content::Flat, Content::Runs}) {
      if (c == Content::Runs && s.w < 62) continue;
      SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " " << Name(c));
      const QImage img = MakeImage(s.w, s.h, c, quint32(s.w * 1000 + s.h));
      const QByteArray bytes = EncodePict(img);
      ASSERT_FALSE(bytes.isEmpty());
      const QString path = dir.filePath(QString("p%1.pict").arg(n++));
      ASSERT_TRUE(WriteFile(path, bytes));
      EXPECT_TRUE(SamePixels(img, ReadWithImageMagick(path))) << "ImageMagick";
      EXPECT_TRUE(SamePixels(img, ReadWithGraphicsMagick(path))) << "GraphicsMagick";
      EXPECT_TRUE(SamePixels(img, DecodePict(bytes))) << "DecodePict";
      EXPECT_TRUE(SamePixels(img, DecodePict(bytes.mid(512)))) << "DecodePict without file header";
    }
  }
}

// ImageMagick's own PICT writer counts rows by its rule, not QuickDraw's; its
// files are read as well.
TEST(PictDecode, ReadsPicturesWrittenByImageMagick) {
  QTemporaryDir dir;
  for (int w : {5, 40, 64, 66, 90}) {
    SCOPED_TRACE(w);
    const QImage img = MakeImage(w, 6, Content::Random, quint32(w));
    const QString png = dir.filePath(QString("in%1.png").arg(w));
    const QString pict = dir.filePath(QString("out%1.pict").arg(w));
    ASSERT_TRUE(img.save(png));
    QProcess p;
    p.start("convert", {png, "-type", "TrueColor", "PICT:" + pict});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0);
    QFile f(pict);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(SamePixels(img, DecodePict(f.readAll())));
  }
}

TEST(PictDecode, DamagedFilesGiveNullImages) {
  EXPECT_TRUE(DecodePict(QByteArray()).isNull());
  EXPECT_TRUE(DecodePict(QByteArray(512, '\0')).isNull());
  EXPECT_TRUE(DecodePict(QByteArray(2000, '\xff')).isNull());

  const QImage img = MakeImage(20, 7, Content::Runs, 7);
  const QByteArray good = EncodePict(img);
  ASSERT_TRUE(SamePixels(img, DecodePict(good)));

  // Cut short anywhere: never a picture (the end opcode is missing).
  for (qsizetype len = 0; len < good.size(); ++len)
    ASSERT_TRUE(DecodePict(good.left(len)).isNull()) << "length " << len;

  // Random damage must not crash or read out of bounds (the sanitizer build
  // watches); what comes out does not matter. The wider picture has 2-byte
  // row counts.
  const QByteArray wide = EncodePict(MakeImage(70, 3, Content::Runs, 8));
  QRandomGenerator rng(42);
  for (int i = 0; i < 6000; ++i) {
    QByteArray bad = i % 2 ? good : wide;
    const int flips = 1 + int(rng.bounded(4));
    for (int k = 0; k < flips; ++k) {
      const qsizetype at = 512 + qsizetype(rng.bounded(quint32(bad.size() - 512)));
      bad[at] = char(rng.bounded(256));
    }
    const QImage out = DecodePict(bad);
    if (!out.isNull()) {
      EXPECT_GE(out.width(), 1);
      EXPECT_LE(out.width(), 16384);
    }
  }
}

TEST(PictDecode, HugeDeclaredSizesAreRefusedCheaply) {
  const QByteArray good = EncodePict(MakeImage(8, 4, Content::Random, 3));
  QElapsedTimer timer;
  timer.start();

  QByteArray bigFrame = good;  // frame beyond the limit
  SetU16(bigFrame, kFrame + 4, 30000);
  SetU16(bigFrame, kFrame + 6, 30000);
  EXPECT_TRUE(DecodePict(bigFrame).isNull());

  QByteArray negative = good;  // bottom above top
  SetU16(negative, kFrame + 4, 0xFFF0);
  EXPECT_TRUE(DecodePict(negative).isNull());

  // Frame and pixmap (bounds, source, destination) claim 8000 x 16000 but
  // the data are a few bytes: refused before a half-gigabyte picture is made.
  QByteArray bigPixmap = good;
  for (int at : {kFrame, kPixmapBounds, kPixmapBounds + 44, kPixmapBounds + 52}) {
    SetU16(bigPixmap, at + 4, 16000);
    SetU16(bigPixmap, at + 6, 8000);
  }
  SetU16(bigPixmap, kPixmapBounds - 2, 0x8000 | 8000 * 4);
  EXPECT_TRUE(DecodePict(bigPixmap).isNull());
  EXPECT_LT(timer.elapsed(), 20000);  // a sanity bound only: nothing near a real allocation
}

TEST(PictDecode, PixelDataOffsetIsWhereTheFirstRowStarts) {
  // Guards the offsets the damage tests rely on: the first row of an 8-pixel
  // wide picture starts with its 1-byte count.
  const QByteArray b = EncodePict(MakeImage(8, 1, Content::Flat, 0));
  ASSERT_GT(b.size(), kPixelData + 1);
  EXPECT_EQ(U16At(b, kPixmapBounds + 4), 1);
  EXPECT_EQ(U16At(b, kPixmapBounds + 6), 8);
  // Flat: three planes of 8 equal bytes, each one repeat group (2 bytes).
  EXPECT_EQ(quint8(b[kPixelData]), 6);
}
