#pragma once
// A growable two-dimensional table of Doubles: the path that motion kind 8
// follows. Resizing keeps every cell that lies inside both the old and the new
// bounds; new cells are 0.
//
// Layout: (0,0) the point count n; rows 1..n the points (x, y); row n+1 the
// extent (largest x, largest y); (n+2, 0) the polyline's total length.
#include <vector>

class PathTable {
 public:
  PathTable() { Redim(0, 0); }
  // New upper bounds (inclusive), as the callers count.
  void Redim(int rowUpper, int colUpper);
  int RowUpper() const { return rows_ - 1; }
  int ColUpper() const { return cols_ - 1; }
  bool Has(int row, int col) const { return row >= 0 && col >= 0 && row < rows_ && col < cols_; }
  // Cells outside the bounds read as 0 and ignore writes.
  double Get(int row, int col) const { return Has(row, col) ? cells_[row * cols_ + col] : 0.0; }
  void Set(int row, int col, double v) {
    if (Has(row, col)) cells_[row * cols_ + col] = v;
  }
  bool operator==(const PathTable&) const = default;

 private:
  int rows_ = 0, cols_ = 0;
  std::vector<double> cells_;
};
