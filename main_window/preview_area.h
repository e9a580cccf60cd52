#pragma once
// Where the preview player goes in the main window.
#include <QRect>

// The preview area of the main window.
constexpr int kPreviewLeft = 185;
constexpr int kPreviewTop = 20;
constexpr int kPreviewSize = 560;

// The player's rectangle for a movie of the given size: shrunk to fit the
// preview area, never enlarged, centred in it.
QRect PlayerPlacement(int movieWidth, int movieHeight);
