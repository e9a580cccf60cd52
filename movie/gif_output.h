#pragma once
// Animated GIF output.
//
// Every frame is written as the rectangle that changed since the frame
// before, on a canvas that keeps what earlier frames drew; inside that
// rectangle pixels that already show the right colour may be left
// transparent. A frame whose changed pixels hold at most 256 colours is
// written exactly, with the movie's global colour table or a local one,
// whichever makes the smaller file; only a frame that does not fit is
// quantised (libimagequant), dithered within its changed pixels alone.
// Delays follow the movie's frame time in hundredths of a second, rounded so
// that the sum of any first frames is never more than half a hundredth off.
// The memory taken does not grow with the number of frames: the encoder
// keeps the previous frame and the canvas, nothing more.
#include "movie/frame_output.h"

FrameOutputPtr MakeGifOutput(const QString& path, const FrameOutputOptions& options);
