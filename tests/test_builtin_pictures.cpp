// The built-in button icons and the point cursor, read from the compiled-in
// resources.
#include "resources/builtin_pictures.h"

#include <gtest/gtest.h>

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

QGuiApplication& App() {
  static int argc = 1;
  static char name[] = "test_builtin_pictures";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  return *app;
}

struct Accessor {
  const char* name;
  int number;
  PicturePtr (*get)();
};

const std::vector<Accessor>& Accessors() {
  static const std::vector<Accessor> all = {
      {"ogg1", 182, ogg1},
      {"ogg2", 183, ogg2},
      {"ogg3", 184, ogg3},
      {"ogg4", 185, ogg4},
      {"ogg5", 186, ogg5},
      {"ogg6", 187, ogg6},
      {"ogg7", 188, ogg7},
      {"Immagine1", 169, Immagine1},
      {"Untitled3", 168, Untitled3},
      {"Senzatitolo2", 174, Senzatitolo2},
      {"Senzatitolo3", 175, Senzatitolo3},
      {"Senzatitolo4", 176, Senzatitolo4},
      {"Senzatitolo5", 177, Senzatitolo5},
      {"Senzatitolo6", 178, Senzatitolo6},
      {"Senzatitolo7", 179, Senzatitolo7},
      {"Senzatitolo8", 180, Senzatitolo8},
      {"Senzatitolo9", 181, Senzatitolo9},
      {"Senzatitolo12", 172, Senzatitolo12},
      {"Senzatitolo13", 173, Senzatitolo13},
  };
  return all;
}

int CountPixels(const QImage& image, bool white) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (((image.pixel(x, y) & 0xFFFFFFu) == 0xFFFFFFu) == white) ++n;
  return n;
}

// The whole life of the cache in one test. Reads are counted for the whole
// process, and only this test asks for numbers that have no picture, so
// whichever tests ran before, after every accessor has been called the count
// is exactly one read per picture.
TEST(BuiltinPictures, EachIsReadOnceAndSharedAfterwards) {
  std::vector<PicturePtr> first;
  for (const auto& a : Accessors()) {
    SCOPED_TRACE(a.name);
    PicturePtr p = a.get();
    ASSERT_NE(p, nullptr);
    first.push_back(p);
  }
  const int n = static_cast<int>(Accessors().size());
  EXPECT_EQ(BuiltinPictureReadCount(), n);

  for (int i = 0; i < n; ++i) {
    const auto& a = Accessors()[i];
    SCOPED_TRACE(a.name);
    EXPECT_EQ(a.get().get(), first[i].get());
    EXPECT_EQ(BuiltinPicture(a.number).get(), first[i].get());
  }
  EXPECT_EQ(BuiltinPictureReadCount(), n);

  // A number with no picture is nil, read once, and stays nil.
  EXPECT_EQ(BuiltinPicture(999), nullptr);
  EXPECT_EQ(BuiltinPicture(999), nullptr);
  EXPECT_EQ(BuiltinPicture(-1), nullptr);
  EXPECT_EQ(BuiltinPictureReadCount(), n + 2);
}

TEST(BuiltinPictures, AreWhiteBackedIconsThatFitTheButtons) {
  for (const auto& a : Accessors()) {
    SCOPED_TRACE(a.name);
    PicturePtr p = a.get();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Transparent, 1);
    EXPECT_GE(p->Width(), 1);
    EXPECT_GE(p->Height(), 1);
    // The buttons are 28 x 28.
    EXPECT_LE(p->Width(), 28);
    EXPECT_LE(p->Height(), 28);
    EXPECT_EQ(p->image().format(), QImage::Format_RGB32);
    // Pure white around the drawing lets the button show through; the drawing
    // itself is there too.
    const int white = CountPixels(p->image(), true);
    const int ink = CountPixels(p->image(), false);
    EXPECT_GT(white, 0);
    EXPECT_GT(ink, 20);
    // Every corner is background.
    const QImage& im = p->image();
    EXPECT_EQ(im.pixel(0, im.height() - 1) & 0xFFFFFFu, 0xFFFFFFu);
  }
}

TEST(BuiltinPictures, AreAllDifferent) {
  const auto& all = Accessors();
  for (size_t i = 0; i < all.size(); ++i) {
    for (size_t j = i + 1; j < all.size(); ++j) {
      SCOPED_TRACE(std::string(all[i].name) + " vs " + all[j].name);
      const QImage& a = all[i].get()->image();
      const QImage& b = all[j].get()->image();
      EXPECT_NE(a, b);
    }
  }
}

// The "white stays opaque" image button shows white paper that is not pure
// white, so it stays visible; its transparent twin shows pure white holes.
TEST(BuiltinPictures, OpaqueAndTransparentImageButtonsDiffer) {
  const QImage& opaque = Immagine1()->image();
  const QImage& holes = Untitled3()->image();
  ASSERT_EQ(opaque.size(), holes.size());
  EXPECT_GT(CountPixels(holes, true), CountPixels(opaque, true));
}

// Mirror-image motions are drawn as mirror images: the clockwise and
// counterclockwise icons of each kind. The two linear kinds walk the same
// diagonal in opposite directions (top-left to bottom-right and back), so
// one icon is the other turned by 180 degrees.
TEST(BuiltinPictures, OppositeMotionsAreMirrored) {
  EXPECT_EQ(Senzatitolo2()->image().mirrored(true, true), Senzatitolo3()->image());
  const std::pair<PicturePtr (*)(), PicturePtr (*)()> pairs[] = {
      {Senzatitolo4, Senzatitolo5},
      {Senzatitolo6, Senzatitolo7},
      {Senzatitolo8, Senzatitolo9},
  };
  for (const auto& [cw, ccw] : pairs) {
    EXPECT_EQ(cw()->image().mirrored(true, false), ccw()->image());
  }
  // Spirals going in and going out are different drawings, not mirrors.
  EXPECT_NE(Senzatitolo6()->image().mirrored(true, false), Senzatitolo8()->image());
  EXPECT_NE(Senzatitolo6()->image(), Senzatitolo8()->image());
}

TEST(BuiltinPictures, CursorHasItsHotSpotInTheMiddle) {
  App();
  QCursor c = cursore();
  QPixmap pm = c.pixmap();
  ASSERT_FALSE(pm.isNull());
  const QPoint hot = c.hotSpot();
  EXPECT_GE(hot.x(), 0);
  EXPECT_GE(hot.y(), 0);
  EXPECT_LT(hot.x(), pm.width());
  EXPECT_LT(hot.y(), pm.height());
  EXPECT_LE(std::abs(hot.x() - pm.width() / 2), 1);
  EXPECT_LE(std::abs(hot.y() - pm.height() / 2), 1);

  // Transparent around the cross, and a visible pixel right at the hot spot.
  const QImage im = pm.toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(qAlpha(im.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(im.pixel(im.width() - 1, im.height() - 1)), 0);
  EXPECT_EQ(qAlpha(im.pixel(hot)), 255);
  // A second call gives the same cursor.
  QCursor again = cursore();
  EXPECT_EQ(again.hotSpot(), hot);
  EXPECT_EQ(again.pixmap().toImage(), pm.toImage());
}

}  // namespace
