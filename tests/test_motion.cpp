// Where the object stands, frame by frame, for each motion kind.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/motion.h"
#include "engine/render_math.h"
#include "main_window/preview_area.h"
#include "framework/text.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

// The default settings: 18 steps, movie 400 x 200, object 18 x 18.
MotionInput Defaults(int kind) {
  MotionInput in;
  in.kind = kind;
  in.steps = 18;
  in.w = in.h = 18;
  in.W = 400;
  in.H = 200;
  in.dx = PerFrameStep(400 - 18, 18);
  in.dy = PerFrameStep(200 - 18, 18);
  in.rx = 400 / 2.0 - 18 / 2.0;
  in.ry = 200 / 2.0 - 18 / 2.0;
  in.alfa = 0;
  in.beta = 360 * kDeg;
  return in;
}

std::pair<double, double> At(const MotionInput& in, int i) {
  double x = -1, y = -1;
  EXPECT_TRUE(MotionPosition(in, i, x, y, nullptr, nullptr));
  return {x, y};
}

PathTable Path(std::initializer_list<std::pair<double, double>> points) {
  PathTable t;
  const int n = static_cast<int>(points.size());
  t.Redim(n + 2, 1);
  t.Set(0, 0, n);
  int k = 1;
  double maxX = 0, maxY = 0, length = 0;
  for (auto [x, y] : points) {
    t.Set(k, 0, x);
    t.Set(k, 1, y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
    if (k > 1) length += Sqrt(Pow(x - t.Get(k - 1, 0), 2) + Pow(y - t.Get(k - 1, 1), 2));
    ++k;
  }
  t.Set(n + 1, 0, maxX);
  t.Set(n + 1, 1, maxY);
  t.Set(n + 2, 0, length);
  return t;
}

}  // namespace

TEST(Motion, LinearKindsRunCornerToCorner) {
  auto in = Defaults(0);
  EXPECT_EQ(At(in, 1), std::make_pair(0.0, 0.0));
  auto [x, y] = At(in, 18);
  EXPECT_DOUBLE_EQ(x, 382);
  EXPECT_DOUBLE_EQ(y, 182);
  in.kind = 1;
  auto [x1, y1] = At(in, 1);
  EXPECT_DOUBLE_EQ(x1, 382);
  EXPECT_DOUBLE_EQ(y1, 182);
  EXPECT_EQ(At(in, 18), std::make_pair(0.0, 0.0));
  // Kind 1 mirrors kind 0 frame by frame.
  auto k0 = Defaults(0);
  for (int i = 1; i <= 18; ++i) {
    auto a = At(k0, i);
    auto b = At(in, 19 - i);
    EXPECT_NEAR(a.first, b.first, 1e-9);
    EXPECT_NEAR(a.second, b.second, 1e-9);
  }
}

TEST(Motion, RoundKindsTurnClockwiseAndBack) {
  auto cw = Defaults(2);
  auto [x1, y1] = At(cw, 1);
  EXPECT_NEAR(x1, 382, 1e-9);
  EXPECT_NEAR(y1, 91, 1e-9);
  auto [x2, y2] = At(cw, 2);
  EXPECT_NEAR(x2, 369.10, 0.01);
  EXPECT_NEAR(y2, 123.87, 0.01);
  auto [x18, y18] = At(cw, 18);
  EXPECT_NEAR(x18, 382, 1e-9);
  EXPECT_NEAR(y18, 91, 1e-9);

  auto ccw = Defaults(3);
  auto [cx2, cy2] = At(ccw, 2);
  EXPECT_NEAR(cx2, x2, 1e-9);
  EXPECT_LT(cy2, 91);  // above the start, where the clockwise one goes below
  EXPECT_NEAR(cy2, 91 - (y2 - 91), 1e-9);
}

TEST(Motion, SpiralsStartAndEndAtTheirRadii) {
  for (int kind = 4; kind <= 7; ++kind) {
    auto in = Defaults(kind);
    const bool out = kind <= 5;
    auto [xf, yf] = At(in, 1);
    auto [xl, yl] = At(in, 18);
    // Distances of the object's centre from the movie's centre, along x.
    const double first = (xf + 9) - 200, last = (xl + 9) - 200;
    const double small = in.rx / 18, full = in.rx;
    EXPECT_NEAR(first, out ? small : full, 1e-9) << kind;
    EXPECT_NEAR(last, out ? full : small, 1e-9) << kind;
    EXPECT_NEAR(yf + 9, 100, 1e-9);
    EXPECT_NEAR(yl + 9, 100, 1e-9);
  }
}

TEST(Motion, OneFrameStandsAtTheStartOfEveryKind) {
  for (int kind = 0; kind <= 8; ++kind) {
    auto in = Defaults(kind);
    in.steps = 1;
    in.dx = PerFrameStep(382, 1);
    in.dy = PerFrameStep(182, 1);
    PathTable path = Path({{5, 6}, {50, 60}, {100, 0}});
    in.path = &path;
    auto [x, y] = At(in, 1);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y)) << kind;
    if (kind == 0) {
      EXPECT_EQ(std::make_pair(x, y), std::make_pair(0.0, 0.0));
    }
    if (kind == 8) {
      EXPECT_EQ(std::make_pair(x, y), std::make_pair(5.0, 6.0));
    }
  }
}

TEST(Motion, PathWalkFollowsThePolylineByLength) {
  // Two segments of length 10 each: 5 frames put the corner every 5 pixels.
  PathTable path = Path({{0, 0}, {10, 0}, {10, 10}});
  auto in = Defaults(8);
  in.steps = 5;
  in.path = &path;
  EXPECT_EQ(At(in, 1), std::make_pair(0.0, 0.0));
  EXPECT_EQ(At(in, 2), std::make_pair(5.0, 0.0));
  EXPECT_EQ(At(in, 3), std::make_pair(10.0, 0.0));  // exactly at a point: that point
  EXPECT_EQ(At(in, 4), std::make_pair(10.0, 5.0));
  EXPECT_EQ(At(in, 5), std::make_pair(10.0, 10.0));  // the last frame is the last point exactly
}

TEST(Motion, PathWalkPassesOverRepeatedPointsAndZeroLength) {
  PathTable repeated = Path({{0, 0}, {10, 0}, {10, 0}, {10, 0}, {10, 10}});
  auto in = Defaults(8);
  in.steps = 5;
  in.path = &repeated;
  EXPECT_EQ(At(in, 3), std::make_pair(10.0, 0.0));
  EXPECT_EQ(At(in, 4), std::make_pair(10.0, 5.0));

  PathTable spot = Path({{7, 8}, {7, 8}, {7, 8}});
  in.path = &spot;
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(At(in, i), std::make_pair(7.0, 8.0));

  // A table whose count claims more rows than it has reads no stray cells.
  PathTable broken;
  broken.Set(0, 0, 0);
  broken.Redim(0, 1);
  broken.Set(0, 0, 40);
  in.path = &broken;
  auto [x, y] = At(in, 2);
  EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
}

TEST(Motion, PathWalkYieldsInItsLoops) {
  PathTable path = Path({{0, 0}, {10, 0}, {20, 0}, {30, 0}});
  auto in = Defaults(8);
  in.steps = 4;
  in.path = &path;
  int yields = 0;
  double x = 0, y = 0;
  MotionPosition(in, 3, x, y, nullptr, [&] { ++yields; });
  EXPECT_EQ(x, 20);
  EXPECT_GT(yields, 0);
}

TEST(Motion, RandomKindDiffersAtEveryCallOthersRepeat) {
  auto in = Defaults(9);
  auto a = At(in, 3);
  auto b = At(in, 3);
  EXPECT_NE(a, b);
  EXPECT_GE(a.first, 0);
  EXPECT_LT(a.first, 382);
  EXPECT_LT(a.second, 182);
  // Drawn in order: r1 for x first, then r2 for y.
  double draws[] = {0.25, 0.5};
  int next = 0;
  double x = 0, y = 0;
  MotionPosition(in, 1, x, y, [&] { return draws[next++]; }, nullptr);
  EXPECT_DOUBLE_EQ(x, 0.25 * in.rx * 2);
  EXPECT_DOUBLE_EQ(y, 0.5 * in.ry * 2);
  for (int kind = 0; kind <= 7; ++kind) {
    auto k = Defaults(kind);
    EXPECT_EQ(At(k, 5), At(k, 5));
  }
}

TEST(Motion, UnknownKindLeavesThePlace) {
  auto in = Defaults(10);
  double x = 12, y = 34;
  EXPECT_FALSE(MotionPosition(in, 3, x, y, nullptr, nullptr));
  EXPECT_EQ(x, 12);
  EXPECT_EQ(y, 34);
  in.kind = -1;
  EXPECT_FALSE(MotionPosition(in, 3, x, y, nullptr, nullptr));
}

TEST(Motion, PathTableResizeKeepsCells) {
  PathTable t;
  EXPECT_EQ(t.RowUpper(), 0);
  EXPECT_EQ(t.Get(0, 0), 0.0);
  t.Redim(3, 1);
  t.Set(3, 1, 9);
  t.Set(1, 0, 4);
  t.Redim(5, 1);
  EXPECT_EQ(t.Get(3, 1), 9);
  EXPECT_EQ(t.Get(1, 0), 4);
  t.Redim(1, 1);
  EXPECT_EQ(t.Get(1, 0), 4);
  EXPECT_EQ(t.Get(3, 1), 0);  // outside the bounds now
  t.Redim(3, 1);
  EXPECT_EQ(t.Get(3, 1), 0);  // a shrink drops the cell for good
}

TEST(RenderMath, FrameNamesHaveOneDigitMoreThanSteps) {
  EXPECT_EQ(FrameFileName(1, Len(Str(18.0))), "frame001");
  EXPECT_EQ(FrameFileName(18, Len(Str(18.0))), "frame018");
  EXPECT_EQ(FrameFileName(9, Len(Str(9.0))), "frame09");
  EXPECT_EQ(FrameFileName(1, Len(Str(100.0))), "frame0001");
  EXPECT_EQ(FrameFileName(100, Len(Str(100.0))), "frame0100");
}

TEST(RenderMath, PlayerShrinksToFitButNeverGrows) {
  EXPECT_EQ(PlayerPlacement(100, 50), QRect(415, 275, 100, 50));
  EXPECT_EQ(PlayerPlacement(1120, 560), QRect(185, 160, 560, 280));
  EXPECT_EQ(PlayerPlacement(560, 560), QRect(185, 20, 560, 560));
  EXPECT_EQ(PlayerPlacement(2048, 1), QRect(185, 300, 560, 0));
  // A side of 0 sets no limit: the other side's factor, or 1, applies.
  EXPECT_EQ(PlayerPlacement(0, 1120), QRect(465, 20, 0, 560));
  EXPECT_EQ(PlayerPlacement(0, 0), QRect(465, 300, 0, 0));
}
