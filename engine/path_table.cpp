#include "engine/path_table.h"

#include <algorithm>

void PathTable::Redim(int rowUpper, int colUpper) {
  const int rows = std::max(rowUpper, -1) + 1;
  const int cols = std::max(colUpper, -1) + 1;
  std::vector<double> cells(static_cast<size_t>(rows) * static_cast<size_t>(cols), 0.0);
  for (int r = 0; r < std::min(rows, rows_); ++r)
    for (int c = 0; c < std::min(cols, cols_); ++c) cells[r * cols + c] = cells_[r * cols_ + c];
  rows_ = rows;
  cols_ = cols;
  cells_.swap(cells);
}
