#pragma once
// Where the object stands in each frame: the ten motion kinds.
#include <functional>

#include "engine/path_table.h"

struct MotionInput {
  int kind = 0;
  double steps = 18;
  double dx = 0, dy = 0;  // per-frame advance of the linear kinds
  double rx = 0, ry = 0;  // free half-ranges of the round and spiral kinds
  double alfa = 0, beta = 0;  // start and sweep angle, radians
  // Object and movie sizes, as the round and spiral kinds read them now.
  double w = 0, h = 0, W = 0, H = 0;
  const PathTable* path = nullptr;
};

// total / (steps - 1), the advance per frame; with a single frame there is
// nothing to advance, so 0.
double PerFrameStep(double total, double steps);

// Sets (x, y), the object's top-left corner in frame i (1-based). Returns false
// and leaves them unchanged for a kind outside 0..9. random draws the numbers
// of the random kind; yield runs once per pass of the path walk's loops.
bool MotionPosition(const MotionInput& in, int i, double& x, double& y,
                    const std::function<double()>& random, const std::function<void()>& yield);
