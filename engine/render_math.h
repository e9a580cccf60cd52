#pragma once
// The arithmetic of a render that does not need the window: frame file names
// and where the preview player goes.
#include <QRect>
#include <QString>
#include <functional>

// "frame" + zeros + i, every number written with digits + 1 places, where
// digits is the width of the steps value as text. yield runs after each zero.
QString FrameFileName(int i, int digits, const std::function<void()>& yield = nullptr);

// The preview area of the main window.
constexpr int kPreviewLeft = 185;
constexpr int kPreviewTop = 20;
constexpr int kPreviewSize = 560;

// The player's rectangle for a movie of the given size: shrunk to fit the
// preview area, never enlarged, centred in it.
QRect PlayerPlacement(int movieWidth, int movieHeight);
