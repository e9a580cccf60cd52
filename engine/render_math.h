#pragma once
// PICT frame file names.
#include <QString>
#include <functional>

// The digits of a frame file name: the width of the steps value as text.
int FrameNameDigits(double steps);

// "frame" + zeros + i, every number written with digits + 1 places, where
// digits is the width of the steps value as text. yield runs after each zero.
QString FrameFileName(int i, int digits, const std::function<void()>& yield = nullptr);
