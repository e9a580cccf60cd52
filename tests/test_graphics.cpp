// Pictures and their drawing: the pixel model of shapes, picture copies and
// scaling, text placement, persistent state, and safety with wild arguments.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <climits>
#include <functional>
#include <memory>
#include <string>

#include "framework/picture.h"

namespace {

constexpr Color kWhite = 0xFFFFFF;
constexpr Color kRed = 0xFF0000;
constexpr Color kBlue = 0x0000FF;

// Text drawing needs a QGuiApplication for its fonts.
void EnsureApp() {
  static int argc = 1;
  static char name[] = "test_graphics";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) MakeLargeTextRepeatable();  // as the program does
  static QApplication* app = QCoreApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
}

Color At(const Picture& pic, int x, int y) { return pic.image().pixel(x, y) & 0xFFFFFF; }

PicturePtr White(int w, int h) {
  PicturePtr pic = NewPicture(w, h, 32);
  EXPECT_TRUE(pic);
  return pic;
}

// The picture as rows of '#' (the colour given) and '.' (anything else), for
// readable failure messages.
std::string Mask(const Picture& pic, Color ink) {
  std::string out;
  for (int y = 0; y < pic.Height(); ++y) {
    for (int x = 0; x < pic.Width(); ++x) out += At(pic, x, y) == ink ? '#' : '.';
    out += '\n';
  }
  return out;
}

int CountInk(const Picture& pic, Color ink) {
  int n = 0;
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) n += At(pic, x, y) == ink;
  return n;
}

// Every pixel the predicate marks as ink is ink, and every other one white.
void ExpectExactly(const Picture& pic, Color ink, const std::function<bool(int, int)>& inked) {
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x)
      ASSERT_EQ(At(pic, x, y), inked(x, y) ? ink : kWhite)
          << "pixel " << x << "," << y << "\n" << Mask(pic, ink);
}

// Mirror symmetry of the ink about the rectangle's centre lines.
void ExpectSymmetric(const Picture& pic, Color ink, int x, int y, int w, int h) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const bool here = At(pic, x + i, y + j) == ink;
      ASSERT_EQ(here, At(pic, x + w - 1 - i, y + j) == ink)
          << "left-right at " << i << "," << j << "\n" << Mask(pic, ink);
      ASSERT_EQ(here, At(pic, x + i, y + h - 1 - j) == ink)
          << "top-bottom at " << i << "," << j << "\n" << Mask(pic, ink);
    }
}

bool Inside(int px, int py, int x, int y, int w, int h) {
  return px >= x && px < x + w && py >= y && py < y + h;
}

// ---------------------------------------------------------------------------

TEST(NewPicture, IsWhiteAndClampsSizes) {
  PicturePtr pic = NewPicture(5, 3, 32);
  ASSERT_TRUE(pic);
  EXPECT_EQ(pic->Width(), 5);
  EXPECT_EQ(pic->Height(), 3);
  EXPECT_EQ(pic->image().format(), QImage::Format_RGB32);
  EXPECT_EQ(CountInk(*pic, kWhite), 15);
  EXPECT_EQ(pic->Transparent, 0);

  PicturePtr tiny = NewPicture(0, -7, 8);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->Width(), 1);
  EXPECT_EQ(tiny->Height(), 1);
  EXPECT_EQ(At(*tiny, 0, 0), kWhite);
}

TEST(NewPicture, ImpossibleSizeIsNil) {
  EXPECT_EQ(NewPicture(INT_MAX, INT_MAX, 32), nullptr);
  // Allocatable on a large machine, but no picture: 6.4 GB to fill white.
  EXPECT_EQ(NewPicture(40000, 40000, 32), nullptr);
  EXPECT_NE(NewPicture(16384, 1, 32), nullptr);
}

TEST(NewPicture, FromImageBecomesRgb32) {
  QImage argb(4, 2, QImage::Format_ARGB32);
  argb.fill(QColor(10, 20, 30));
  argb.setPixel(0, 0, 0x00000000u);  // fully see-through
  argb.setPixel(1, 0, 0x80000000u);  // half see-through black
  Picture pic(argb);
  EXPECT_EQ(pic.image().format(), QImage::Format_RGB32);
  EXPECT_EQ(At(pic, 3, 1), 0x0A141Eu);
  // Translucency is laid over white.
  EXPECT_EQ(At(pic, 0, 0), kWhite);
  EXPECT_NEAR(int(At(pic, 1, 0) & 0xFF), 127, 2);

  QImage indexed(3, 1, QImage::Format_Indexed8);
  indexed.setColorTable({0xFF112233u});
  indexed.fill(0);
  EXPECT_EQ(At(Picture(indexed), 2, 0), 0x112233u);
}

// ---------------------------------------------------------------------------
// Rectangles

TEST(Rects, FillRectCoversExactlyItsPixels) {
  auto pic = White(10, 10);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->FillRect(2, 3, 4, 5);
  ExpectExactly(*pic, kRed, [](int x, int y) { return Inside(x, y, 2, 3, 4, 5); });
  g->FillRect(1, 1, 0, 5);
  g->FillRect(1, 1, 5, -2);
  ExpectExactly(*pic, kRed, [](int x, int y) { return Inside(x, y, 2, 3, 4, 5); });
}

TEST(Rects, DrawRectPaintsThePenBandInside) {
  auto pic = White(24, 24);
  Graphics* g = pic->Graphics();
  g->ForeColor = kBlue;
  g->PenWidth = 3;
  g->PenHeight = 3;
  g->DrawRect(3, 2, 18, 18);
  ExpectExactly(*pic, kBlue, [](int x, int y) {
    return Inside(x, y, 3, 2, 18, 18) && !Inside(x, y, 6, 5, 12, 12);
  });
}

TEST(Rects, DrawRectWithUnequalPen) {
  auto pic = White(20, 20);
  Graphics* g = pic->Graphics();
  g->PenWidth = 4;  // the left and right bands
  g->PenHeight = 1;  // the top and bottom bands
  g->DrawRect(1, 1, 16, 10);
  ExpectExactly(*pic, 0x000000, [](int x, int y) {
    return Inside(x, y, 1, 1, 16, 10) && !Inside(x, y, 5, 2, 8, 8);
  });
}

TEST(Rects, PenOfHalfTheSizeFillsTheRect) {
  auto pic = White(12, 12);
  Graphics* g = pic->Graphics();
  g->PenWidth = 5;
  g->PenHeight = 2;
  g->DrawRect(1, 1, 10, 4);  // 2 * PenHeight == height
  ExpectExactly(*pic, 0x000000, [](int x, int y) { return Inside(x, y, 1, 1, 10, 4); });
}

TEST(Rects, OnePixelPenIsAOnePixelOutline) {
  auto pic = White(8, 8);
  Graphics* g = pic->Graphics();
  g->DrawRect(0, 0, 8, 8);
  EXPECT_EQ(CountInk(*pic, 0x000000), 28);
  EXPECT_EQ(At(*pic, 7, 7), 0x000000u);
  EXPECT_EQ(At(*pic, 1, 1), kWhite);
}

// ---------------------------------------------------------------------------
// Ovals and round rectangles

struct ShapeCase {
  int x, y, w, h;
};

class Ovals : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Ovals, FilledOvalStaysInsideIsSymmetricCoversCentreNotCorners) {
  const ShapeCase c = GetParam();
  auto pic = White(c.x + c.w + 3, c.y + c.h + 3);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->FillOval(c.x, c.y, c.w, c.h);
  for (int y = 0; y < pic->Height(); ++y)
    for (int x = 0; x < pic->Width(); ++x)
      if (!Inside(x, y, c.x, c.y, c.w, c.h)) { ASSERT_EQ(At(*pic, x, y), kWhite) << x << "," << y; }
  ExpectSymmetric(*pic, kRed, c.x, c.y, c.w, c.h);
  EXPECT_EQ(At(*pic, c.x + c.w / 2, c.y + c.h / 2), kRed);
  // Every row and column of the rectangle is touched: the oval is inscribed.
  for (int j = 0; j < c.h; ++j) EXPECT_EQ(At(*pic, c.x + c.w / 2, c.y + j), kRed) << j;
  for (int i = 0; i < c.w; ++i) EXPECT_EQ(At(*pic, c.x + i, c.y + c.h / 2), kRed) << i;
  if (c.w >= 4 && c.h >= 4) {
    EXPECT_EQ(At(*pic, c.x, c.y), kWhite);
    EXPECT_EQ(At(*pic, c.x + c.w - 1, c.y), kWhite);
    EXPECT_EQ(At(*pic, c.x, c.y + c.h - 1), kWhite);
    EXPECT_EQ(At(*pic, c.x + c.w - 1, c.y + c.h - 1), kWhite);
  }
  // Close to the area of the ellipse.
  if (c.w >= 10 && c.h >= 10) {
    const double area = 3.14159265358979 * c.w * c.h / 4;
    EXPECT_NEAR(CountInk(*pic, kRed), area, area * 0.08);
  }
}

TEST_P(Ovals, DrawOvalIsARingInsideTheRect) {
  const ShapeCase c = GetParam();
  auto filled = White(c.x + c.w + 3, c.y + c.h + 3);
  filled->Graphics()->FillOval(c.x, c.y, c.w, c.h);
  auto ring = White(c.x + c.w + 3, c.y + c.h + 3);
  Graphics* g = ring->Graphics();
  g->PenWidth = 2;
  g->PenHeight = 2;
  g->DrawOval(c.x, c.y, c.w, c.h);
  // The ring is part of the filled oval, and symmetric.
  for (int y = 0; y < ring->Height(); ++y)
    for (int x = 0; x < ring->Width(); ++x)
      if (At(*ring, x, y) == 0) { ASSERT_EQ(At(*filled, x, y), 0u) << x << "," << y; }
  ExpectSymmetric(*ring, 0x000000, c.x, c.y, c.w, c.h);
  // It reaches all four sides of the rectangle.
  EXPECT_EQ(At(*ring, c.x + c.w / 2, c.y), 0u);
  EXPECT_EQ(At(*ring, c.x + c.w / 2, c.y + c.h - 1), 0u);
  EXPECT_EQ(At(*ring, c.x, c.y + c.h / 2), 0u);
  EXPECT_EQ(At(*ring, c.x + c.w - 1, c.y + c.h / 2), 0u);
  if (c.w > 8 && c.h > 8) { EXPECT_EQ(At(*ring, c.x + c.w / 2, c.y + c.h / 2), kWhite); }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Ovals,
                         ::testing::Values(ShapeCase{2, 3, 18, 18}, ShapeCase{1, 1, 17, 17},
                                           ShapeCase{0, 0, 40, 11}, ShapeCase{5, 2, 9, 30},
                                           ShapeCase{3, 3, 1, 1}, ShapeCase{3, 3, 2, 2},
                                           ShapeCase{1, 4, 3, 7}, ShapeCase{0, 0, 101, 64}));

TEST(Ovals, PenThreeRingInEighteenSquare) {
  auto pic = White(18, 18);
  Graphics* g = pic->Graphics();
  g->PenWidth = 3;
  g->PenHeight = 3;
  g->ForeColor = kBlue;
  g->DrawOval(0, 0, 18, 18);
  const std::string mask = Mask(*pic, kBlue);
  // Centre white, pen-thick band at the middle of each side, corners empty.
  EXPECT_EQ(At(*pic, 9, 9), kWhite) << mask;
  EXPECT_EQ(At(*pic, 8, 8), kWhite) << mask;
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(At(*pic, t, 8), kBlue) << mask;
    EXPECT_EQ(At(*pic, 17 - t, 9), kBlue) << mask;
    EXPECT_EQ(At(*pic, 9, t), kBlue) << mask;
    EXPECT_EQ(At(*pic, 8, 17 - t), kBlue) << mask;
  }
  EXPECT_EQ(At(*pic, 3, 9), kWhite) << mask;
  EXPECT_EQ(At(*pic, 0, 0), kWhite) << mask;
  ExpectSymmetric(*pic, kBlue, 0, 0, 18, 18);
}

TEST(Ovals, PenAsWideAsHalfFillsTheOval) {
  auto filled = White(20, 14);
  filled->Graphics()->FillOval(1, 1, 16, 10);
  auto ring = White(20, 14);
  ring->Graphics()->PenWidth = 8;
  ring->Graphics()->PenHeight = 1;
  ring->Graphics()->DrawOval(1, 1, 16, 10);
  EXPECT_EQ(Mask(*ring, 0), Mask(*filled, 0));
}

TEST(RoundRects, CornersAreCutByTheCornerOval) {
  auto pic = White(26, 22);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->FillRoundRect(2, 1, 20, 16, 8, 6);
  const std::string mask = Mask(*pic, kRed);
  for (int y = 0; y < pic->Height(); ++y)
    for (int x = 0; x < pic->Width(); ++x)
      if (!Inside(x, y, 2, 1, 20, 16)) { ASSERT_EQ(At(*pic, x, y), kWhite) << mask; }
  ExpectSymmetric(*pic, kRed, 2, 1, 20, 16);
  EXPECT_EQ(At(*pic, 2, 1), kWhite) << mask;  // the corner itself is cut
  EXPECT_EQ(At(*pic, 21, 16), kWhite) << mask;
  // The straight parts of the sides are full: the corner oval is 8 wide and 6
  // high, so the top edge is straight from x=2+4 to 21-4, the left side from
  // y=1+3 to 16-3.
  for (int x = 6; x <= 17; ++x) EXPECT_EQ(At(*pic, x, 1), kRed) << x << "\n" << mask;
  for (int y = 4; y <= 13; ++y) EXPECT_EQ(At(*pic, 2, y), kRed) << y << "\n" << mask;
  EXPECT_EQ(At(*pic, 3, 1), kWhite) << mask;
  EXPECT_EQ(At(*pic, 2, 2), kWhite) << mask;
}

TEST(RoundRects, ZeroCornerIsARectAndFullCornerIsAnOval) {
  auto square = White(16, 16);
  square->Graphics()->FillRoundRect(1, 2, 12, 9, 0, 0);
  ExpectExactly(*square, 0, [](int x, int y) { return Inside(x, y, 1, 2, 12, 9); });

  auto oval = White(16, 16);
  oval->Graphics()->FillOval(1, 2, 12, 9);
  auto round = White(16, 16);
  round->Graphics()->FillRoundRect(1, 2, 12, 9, 12, 9);
  EXPECT_EQ(Mask(*round, 0), Mask(*oval, 0));
  // Corner sizes beyond the rectangle are clamped to it.
  auto big = White(16, 16);
  big->Graphics()->FillRoundRect(1, 2, 12, 9, 500, 900);
  EXPECT_EQ(Mask(*big, 0), Mask(*oval, 0));
}

TEST(RoundRects, DrawRoundRectIsARingOfThePenInside) {
  auto pic = White(30, 24);
  Graphics* g = pic->Graphics();
  g->PenWidth = 3;
  g->PenHeight = 2;
  g->ForeColor = kBlue;
  g->DrawRoundRect(2, 2, 24, 18, 10, 8);
  auto filled = White(30, 24);
  filled->Graphics()->FillRoundRect(2, 2, 24, 18, 10, 8);
  const std::string mask = Mask(*pic, kBlue);
  for (int y = 0; y < pic->Height(); ++y)
    for (int x = 0; x < pic->Width(); ++x)
      if (At(*pic, x, y) == kBlue) { ASSERT_EQ(At(*filled, x, y), 0u) << mask; }
  ExpectSymmetric(*pic, kBlue, 2, 2, 24, 18);
  // Straight parts: exactly the pen's thickness.
  for (int t = 0; t < 3; ++t) EXPECT_EQ(At(*pic, 2 + t, 11), kBlue) << mask;
  EXPECT_EQ(At(*pic, 5, 11), kWhite) << mask;
  for (int t = 0; t < 2; ++t) EXPECT_EQ(At(*pic, 14, 2 + t), kBlue) << mask;
  EXPECT_EQ(At(*pic, 14, 4), kWhite) << mask;
  EXPECT_EQ(At(*pic, 14, 11), kWhite) << mask;
}

// ---------------------------------------------------------------------------
// Lines

TEST(Lines, HorizontalAndVerticalWithPen) {
  auto pic = White(20, 20);
  Graphics* g = pic->Graphics();
  g->PenWidth = 2;
  g->PenHeight = 3;
  g->DrawLine(2, 4, 10, 4);
  // Stamps with their top-left at (2..10, 4): columns 2..11, rows 4..6.
  ExpectExactly(*pic, 0, [](int x, int y) { return Inside(x, y, 2, 4, 10, 3); });
}

TEST(Lines, DiagonalIsBresenham) {
  auto pic = White(10, 10);
  Graphics* g = pic->Graphics();
  g->DrawLine(1, 1, 8, 8);
  ExpectExactly(*pic, 0, [](int x, int y) { return x == y && x >= 1 && x <= 8; });

  auto shallow = White(12, 6);
  shallow->Graphics()->DrawLine(10, 4, 0, 0);  // either direction
  EXPECT_EQ(CountInk(*shallow, 0), 11);
  for (int x = 0; x <= 10; ++x) {
    int inkInColumn = 0;
    for (int y = 0; y < 6; ++y) inkInColumn += At(*shallow, x, y) == 0;
    EXPECT_EQ(inkInColumn, 1) << x;
  }
  EXPECT_EQ(At(*shallow, 0, 0), 0u);
  EXPECT_EQ(At(*shallow, 10, 4), 0u);
}

TEST(Lines, SameEndpointsStampOnce) {
  auto pic = White(8, 8);
  pic->Graphics()->PenWidth = 2;
  pic->Graphics()->PenHeight = 2;
  pic->Graphics()->DrawLine(3, 3, 3, 3);
  ExpectExactly(*pic, 0, [](int x, int y) { return Inside(x, y, 3, 3, 2, 2); });
}

TEST(Lines, ThickDiagonalIsTheUnionOfStamps) {
  // Compare with stamping the pen rectangle at each Bresenham point.
  auto pic = White(30, 30);
  Graphics* g = pic->Graphics();
  g->PenWidth = 4;
  g->PenHeight = 3;
  g->DrawLine(25, 2, 3, 20);
  auto ref = White(30, 30);
  Graphics* r = ref->Graphics();
  int x = 25, y = 2;
  const int dx = 22, dy = 18, sx = -1, sy = 1;
  int err = dx - dy;
  while (true) {
    r->FillRect(x, y, 4, 3);
    if (x == 3 && y == 20) break;
    const int e2 = 2 * err;
    if (e2 > -dy) { err -= dy; x += sx; }
    if (e2 < dx) { err += dx; y += sy; }
  }
  // Bresenham variants differ in where ties round; the shapes match closely.
  int differences = 0;
  for (int yy = 0; yy < 30; ++yy)
    for (int xx = 0; xx < 30; ++xx) differences += At(*pic, xx, yy) != At(*ref, xx, yy);
  EXPECT_LE(differences, 12) << Mask(*pic, 0) << "\n" << Mask(*ref, 0);
  EXPECT_EQ(At(*pic, 25, 2), 0u);
  EXPECT_EQ(At(*pic, 3 + 3, 20 + 2), 0u);
}

// ---------------------------------------------------------------------------
// Pictures drawn into pictures

PicturePtr Checker2x2() {
  auto pic = White(2, 2);
  pic->image().setPixel(0, 0, 0xFF000000u);
  pic->image().setPixel(1, 1, 0xFF000000u);
  pic->image().setPixel(1, 0, 0xFFFF0000u);
  return pic;  // black red / white black
}

TEST(DrawPicture, ScalesNearestNeighbour) {
  auto src = Checker2x2();
  auto dst = White(10, 10);
  dst->Graphics()->DrawPicture(*src, 1, 1, 8, 8, 0, 0, 2, 2);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      Color expected = kWhite;
      if (Inside(x, y, 1, 1, 8, 8)) expected = At(*src, (x - 1) / 4, (y - 1) / 4);
      ASSERT_EQ(At(*dst, x, y), expected) << x << "," << y;
    }
}

TEST(DrawPicture, ShrinksAndPicksSourceRect) {
  auto src = White(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src->image().setPixel(x, y, 0xFF000000u | (x * 16 << 8) | y * 16);
  auto dst = White(4, 4);
  dst->Graphics()->DrawPicture(*src, 0, 0, 2, 2, 4, 4, 4, 4);  // bottom-right quarter halved
  EXPECT_EQ(At(*dst, 0, 0), At(*src, 5, 5));
  EXPECT_EQ(At(*dst, 1, 1), At(*src, 7, 7));
  EXPECT_EQ(At(*dst, 1, 0), At(*src, 7, 5));
  EXPECT_EQ(At(*dst, 2, 2), kWhite);
}

TEST(DrawPicture, WhiteIsTransparentOnlyWhenAsked) {
  auto src = Checker2x2();
  auto opaque = White(4, 4);
  opaque->Graphics()->ForeColor = kBlue;
  opaque->Graphics()->FillRect(0, 0, 4, 4);
  opaque->Graphics()->DrawPicture(*src, 1, 1);
  EXPECT_EQ(At(*opaque, 1, 2), kWhite);  // the white source pixel covers blue
  EXPECT_EQ(At(*opaque, 2, 1), kRed);

  src->Transparent = 1;
  auto see = White(4, 4);
  see->Graphics()->ForeColor = kBlue;
  see->Graphics()->FillRect(0, 0, 4, 4);
  see->Graphics()->DrawPicture(*src, 1, 1);
  EXPECT_EQ(At(*see, 1, 2), kBlue);  // blue shows through
  EXPECT_EQ(At(*see, 1, 1), 0u);
  EXPECT_EQ(At(*see, 2, 1), kRed);
  // Scaled drawing honours it too.
  auto scaled = White(8, 8);
  scaled->Graphics()->ForeColor = kBlue;
  scaled->Graphics()->FillRect(0, 0, 8, 8);
  scaled->Graphics()->DrawPicture(*src, 0, 0, 8, 8, 0, 0, 2, 2);
  EXPECT_EQ(At(*scaled, 1, 6), kBlue);
  EXPECT_EQ(At(*scaled, 6, 6), 0u);
  // Nearly white is not white.
  auto almost = White(1, 1);
  almost->image().setPixel(0, 0, 0xFFFFFFFEu);
  almost->Transparent = 1;
  see->Graphics()->DrawPicture(*almost, 0, 0);
  EXPECT_EQ(At(*see, 0, 0), 0xFFFFFEu);
}

TEST(DrawPicture, EraseCopyClipsAtEveryEdge) {
  // The same rectangle as source and destination, partly or wholly outside:
  // each pixel of the source lands on the same place, nothing else changes.
  auto background = White(12, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) background->image().setPixel(x, y, 0xFF000000u | (x << 16) | (y << 8) | 7);
  const ShapeCase rects[] = {{-3, -2, 6, 5}, {9, 6, 10, 10}, {-5, 4, 30, 2}, {4, -10, 3, 40},
                             {-20, -20, 5, 5}, {12, 0, 4, 4}, {0, 0, 12, 9}, {-1, -1, 14, 11}};
  for (const ShapeCase& r : rects) {
    auto dst = White(12, 9);
    dst->Graphics()->DrawPicture(*background, r.x, r.y, r.w, r.h, r.x, r.y, r.w, r.h);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 12; ++x)
        ASSERT_EQ(At(*dst, x, y), Inside(x, y, r.x, r.y, r.w, r.h) ? At(*background, x, y) : kWhite)
            << "rect " << r.x << "," << r.y << " " << r.w << "x" << r.h << " at " << x << "," << y;
  }
}

TEST(DrawPicture, UnscaledOffsetsAndPartialSources) {
  auto src = White(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src->image().setPixel(x, y, 0xFF000000u | (x << 8) | y);
  auto dst = White(6, 6);
  // Source rectangle half outside its picture: only the existing part lands.
  dst->Graphics()->DrawPicture(*src, 3, 0, 3, 3, 2, -1, 3, 3);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const int sx = x - 3 + 2, sy = y - 1;
      const bool drawn = x >= 3 && y < 3 && sx < 4 && sy >= 0;
      ASSERT_EQ(At(*dst, x, y), drawn ? At(*src, sx, sy) : kWhite) << x << "," << y;
    }
  // A picture larger than the destination, drawn at a negative position.
  auto big = White(20, 20);
  big->Graphics()->ForeColor = kRed;
  big->Graphics()->FillRect(10, 10, 1, 1);
  auto small = White(4, 4);
  small->Graphics()->DrawPicture(*big, -8, -9);
  EXPECT_EQ(At(*small, 2, 1), kRed);
  EXPECT_EQ(CountInk(*small, kRed), 1);
}

TEST(DrawPicture, IntoItself) {
  auto pic = White(6, 6);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->FillRect(0, 0, 3, 3);
  g->DrawPicture(*pic, 2, 2, 3, 3, 0, 0, 3, 3);  // overlapping move down-right
  ExpectExactly(*pic, kRed, [](int x, int y) { return Inside(x, y, 0, 0, 3, 3) || Inside(x, y, 2, 2, 3, 3); });
  g->DrawPicture(*pic, 0, 0, 6, 6, 0, 0, 3, 3);  // scaled from itself
  EXPECT_EQ(CountInk(*pic, kRed), 36);
}

// ---------------------------------------------------------------------------
// State and text

TEST(State, SettingsHoldBetweenCalls) {
  auto pic = White(20, 20);
  pic->Graphics()->ForeColor = kBlue;
  pic->Graphics()->PenWidth = 2;
  pic->Graphics()->PenHeight = 2;
  pic->Graphics()->TextSize = 30;
  pic->Graphics()->Bold = true;
  // Later, through a fresh pointer to the same graphics.
  Graphics* g = pic->Graphics();
  EXPECT_EQ(g->ForeColor, kBlue);
  EXPECT_EQ(g->TextSize, 30);
  EXPECT_TRUE(g->Bold);
  g->DrawRect(0, 0, 10, 10);
  g->FillRect(12, 12, 2, 2);
  g->DrawLine(15, 0, 15, 5);
  // A 2-pixel outline of 10x10, a 2x2 square, and a 2-wide line of rows 0..6
  // (the pen hangs below the last point).
  EXPECT_EQ(CountInk(*pic, kBlue), 64 + 4 + 14);
  EXPECT_EQ(g->PenWidth, 2);
}

// Bounding box of every non-white pixel.
QRect InkBox(const Picture& pic) {
  QRect box;
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x)
      if (At(pic, x, y) != kWhite) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(Text, InkSitsOnTheBaselineInForeColor) {
  EnsureApp();
  auto pic = White(200, 80);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->TextSize = 30;
  g->DrawString("HHH", 10, 50);
  const QRect box = InkBox(*pic);
  ASSERT_FALSE(box.isNull());
  // Capitals stand on the baseline: the ink ends just above y=50 and rises
  // about the cap height (roughly 0.7 of the pixel size).
  EXPECT_NEAR(box.bottom(), 49, 1);
  EXPECT_NEAR(box.height(), 21, 5);
  EXPECT_GE(box.left(), 10);
  EXPECT_LE(box.left(), 14);
  EXPECT_GT(CountInk(*pic, kRed), 50);  // solid strokes in exactly ForeColor
}

TEST(Text, TextSizeScalesTheInk) {
  EnsureApp();
  auto small = White(300, 120);
  small->Graphics()->TextSize = 12;
  small->Graphics()->DrawString("Hello", 5, 60);
  auto large = White(300, 120);
  large->Graphics()->TextSize = 36;
  large->Graphics()->DrawString("Hello", 5, 60);
  const QRect a = InkBox(*small), b = InkBox(*large);
  ASSERT_FALSE(a.isNull());
  ASSERT_FALSE(b.isNull());
  EXPECT_NEAR(double(b.height()) / a.height(), 3.0, 0.6);
  EXPECT_NEAR(double(b.width()) / a.width(), 3.0, 0.6);
  // Size 0 is the default size of 12.
  auto zero = White(300, 120);
  zero->Graphics()->TextSize = 0;
  zero->Graphics()->DrawString("Hello", 5, 60);
  EXPECT_EQ(InkBox(*zero), a);
}

TEST(Text, StylesChangeTheInk) {
  EnsureApp();
  auto plain = White(200, 60);
  plain->Graphics()->TextSize = 24;
  plain->Graphics()->DrawString("Word", 5, 40);
  auto bold = White(200, 60);
  bold->Graphics()->TextSize = 24;
  bold->Graphics()->Bold = true;
  bold->Graphics()->DrawString("Word", 5, 40);
  EXPECT_GT(CountInk(*bold, 0), CountInk(*plain, 0));
  auto underlined = White(200, 60);
  underlined->Graphics()->TextSize = 24;
  underlined->Graphics()->Underline = true;
  underlined->Graphics()->DrawString("Word", 5, 40);
  EXPECT_GT(InkBox(*underlined).bottom(), InkBox(*plain).bottom());
}

TEST(Text, WrapWidthBreaksLines) {
  EnsureApp();
  auto one = White(400, 200);
  one->Graphics()->TextSize = 16;
  one->Graphics()->DrawString("HIH HIH HIH HIH HIH HIH", 5, 30);
  auto wrapped = White(400, 200);
  wrapped->Graphics()->TextSize = 16;
  wrapped->Graphics()->DrawString("HIH HIH HIH HIH HIH HIH", 5, 30, 70);
  const QRect a = InkBox(*one), b = InkBox(*wrapped);
  EXPECT_LE(b.right(), 5 + 70 + 2);
  EXPECT_GT(b.height(), 2 * a.height());
  EXPECT_NEAR(b.top(), a.top(), 1);  // the first line keeps its baseline
}

// A large letter comes out the same whatever small text of the same font was
// drawn in between (as the window's labels are drawn in Arial).
TEST(Text, ALargeLetterIsTheSameWhateverWasDrawnBefore) {
  EnsureApp();
  auto draw = [](int size, const QString& text) {
    auto pic = White(200, 150);
    Graphics* g = pic->Graphics();
    g->TextFont = "Arial";
    g->TextSize = size;
    g->DrawString(text, 10, 120);
    return pic->image();
  };
  for (const char* letter : {"A", "g", "W"}) {
    const QImage first = draw(96, QString(letter));
    for (const char* between : {"Some text Arial", "Movie saved at location: /tmp/x.mov", "horizontal size"}) {
      draw(12, between);
      draw(9, between);
      EXPECT_EQ(draw(96, QString(letter)), first) << letter << " after " << between;
    }
  }
}

// ---------------------------------------------------------------------------
// Wild arguments

TEST(Safety, HugeAndNegativeArgumentsDoNotCrash) {
  EnsureApp();
  auto pic = White(16, 16);
  auto src = White(5, 5);
  Graphics* g = pic->Graphics();
  const int values[] = {INT_MIN, INT_MIN + 1, -100000, -17, -1, 0, 1, 7, 100000, INT_MAX - 1, INT_MAX};
  for (int a : values)
    for (int b : values) {
      g->PenWidth = a;
      g->PenHeight = b;
      g->FillRect(a, b, b, a);
      g->FillRect(-3, -3, a, b);
      g->DrawRect(a, 2, b, 9);
      g->DrawRect(-2, -2, a, b);
      g->FillOval(b, a, a, b);
      g->FillOval(-1, -1, a, b);
      g->DrawOval(-5, 2, a, b);
      g->FillRoundRect(1, 1, a, b, b, a);
      g->DrawRoundRect(-1, -1, a, b, a, b);
      g->DrawLine(a, b, b, a);
      g->DrawLine(3, 3, a, b);
      g->DrawPicture(*src, a, b, a, b, b, a, b, a);
      g->DrawPicture(*src, 0, 0, 16, 16, a, b, 3, 3);
      g->DrawPicture(*src, a, b, b, a, 0, 0, 5, 5);
      g->DrawPicture(*src, a, b);
    }
  for (int a : values) {
    g->TextSize = a;
    g->DrawString("Safe", a, a);
    g->DrawString("Safe text", 2, 12, a, true);
    g->DrawString("Safe text", a, 12, a, false);
  }
  SUCCEED();
}

TEST(Safety, HugeShapesClipToThePicture) {
  auto pic = White(16, 16);
  Graphics* g = pic->Graphics();
  g->ForeColor = kRed;
  g->FillOval(INT_MIN / 2, INT_MIN / 2, INT_MAX, INT_MAX);  // centre near the origin
  EXPECT_EQ(At(*pic, 0, 0), kRed);
  g->ForeColor = kBlue;
  g->PenWidth = 3;
  g->PenHeight = 3;
  g->DrawRect(-1000000000, 5, INT_MAX, 4);  // top band and bottom band meet: filled
  EXPECT_EQ(At(*pic, 0, 5), kBlue);
  EXPECT_EQ(At(*pic, 15, 8), kBlue);
  EXPECT_EQ(At(*pic, 15, 9), kRed);
  g->ForeColor = 0x00FF00;
  g->PenWidth = 1;
  g->PenHeight = 1;
  g->DrawLine(INT_MIN, 12, INT_MAX, 12);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(At(*pic, x, 12), 0x00FF00u);
  g->DrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // passes through the picture's diagonal
  EXPECT_EQ(At(*pic, 3, 3), 0x00FF00u);
}

}  // namespace
