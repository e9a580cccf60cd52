#include "engine/motion.h"

#include <cmath>

#include "framework/text.h"

double PerFrameStep(double total, double steps) {
  const double d = steps - 1;
  if (d == 0) return 0;
  const double r = total / d;
  return std::isfinite(r) ? r : 0;
}

namespace {

double SegmentLength(const PathTable& p, int j) {
  return Sqrt(Pow(p.Get(j, 0) - p.Get(j - 1, 0), 2) + Pow(p.Get(j, 1) - p.Get(j - 1, 1), 2));
}

// The walk along the polyline at constant speed by arc length.
void PathWalk(const MotionInput& in, int t, double& x, double& y, const std::function<void()>& yield) {
  static const PathTable empty;
  const PathTable& p = in.path ? *in.path : empty;
  const int n = ToInteger(p.Get(0, 0));
  if (n < 1) return;  // no points: nothing to follow
  if (n == 1) {
    x = p.Get(1, 0);
    y = p.Get(1, 1);
    return;
  }
  const double L = p.Get(ToInteger(p.Get(0, 0) + 2), 0);
  const double d = PerFrameStep(L, in.steps) * t;
  double s = 0;
  int j = 1;
  bool found = false;
  while (j < n) {
    ++j;
    s += SegmentLength(p, j);
    if (yield) yield();
    if (d < s) {
      found = true;
      break;
    }
  }
  if (!found) {
    x = p.Get(n, 0);
    y = p.Get(n, 1);
    return;
  }
  double s0 = 0;
  for (int k = 2; k < j; ++k) {
    s0 += SegmentLength(p, k);
    if (yield) yield();
  }
  const double ax = p.Get(j - 1, 0), ay = p.Get(j - 1, 1);
  const double bx = p.Get(j, 0), by = p.Get(j, 1);
  const double l = SegmentLength(p, j);
  const double u = (d - s0) / l;
  x = ax + u * (bx - ax);
  y = ay + u * (by - ay);
}

}  // namespace

bool MotionPosition(const MotionInput& in, int i, double& x, double& y,
                    const std::function<double()>& random, const std::function<void()>& yield) {
  const double t = static_cast<double>(i - 1);
  const double angleStep = PerFrameStep(in.beta, in.steps);
  const double clockwise = in.alfa + angleStep * t;
  const double counter = in.alfa - angleStep * t;
  auto round = [&](double a, double radiusFactorX, double radiusFactorY) {
    x = (std::cos(a) * radiusFactorX - in.w / 2) + in.W / 2;
    y = (std::sin(a) * radiusFactorY - in.h / 2) + in.H / 2;
  };
  switch (in.kind) {
    case 0:
      x = t * in.dx;
      y = t * in.dy;
      return true;
    case 1: {
      const double k = static_cast<double>(ToInteger(in.steps - i));
      x = k * in.dx;
      y = k * in.dy;
      return true;
    }
    case 2:
      round(clockwise, in.rx, in.ry);
      return true;
    case 3:
      round(counter, in.rx, in.ry);
      return true;
    case 4:
    case 5: {
      const double a = in.kind == 4 ? clockwise : counter;
      round(a, (in.rx / in.steps) * i, (in.ry / in.steps) * i);
      return true;
    }
    case 6:
    case 7: {
      const double a = in.kind == 6 ? clockwise : counter;
      const double f = (in.steps - i) + 1;
      round(a, (in.rx / in.steps) * f, (in.ry / in.steps) * f);
      return true;
    }
    case 8:
      PathWalk(in, i - 1, x, y, yield);
      return true;
    case 9: {
      const double r1 = random ? random() : Rnd();
      const double r2 = random ? random() : Rnd();
      x = (r1 * in.rx) * 2;
      y = (r2 * in.ry) * 2;
      return true;
    }
    default:
      return false;
  }
}
