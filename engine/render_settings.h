#pragma once
// Everything a render needs, taken once when it starts: what the user set in
// the main window at that moment. Nothing the user changes later reaches a
// render already under way.
#include <QString>

#include "engine/path_table.h"
#include "framework/picture.h"

// The object kinds, as the object buttons number them.
enum ObjectKind : int {
  kFilledOval = 0,
  kFilledRect = 1,
  kOvalOutline = 2,
  kRectOutline = 3,
  kTextObject = 4,
  kPictureOpaque = 5,
  kPictureTransparent = 6,
  kFilledRoundRect = 7,
  kRoundRectOutline = 8,
  kCircleInSquare = 9,
};

// The motion kinds, as the motion buttons number them.
enum MotionKind : int {
  kLinearRight = 0,
  kLinearLeft = 1,
  kRoundClockwise = 2,
  kRoundCounter = 3,
  kSpiralOutClockwise = 4,
  kSpiralOutCounter = 5,
  kSpiralInClockwise = 6,
  kSpiralInCounter = 7,
  kAlongPath = 8,
  kRandom = 9,
};

enum class DrawingMode {
  Move,       // the object is erased from its previous place before each frame
  Copy,       // it leaves a trail
  CopyClear,  // it leaves a trail that a second pass wipes again
};

struct RenderSettings {
  int object = kFilledOval;
  double width = 18, height = 18;  // the object box
  double border = 3;               // pen width and height of the outlines
  Color objectColor = 0x000080;
  Color backgroundColor = 0x66CCFF;
  QString font;  // the text object's font and styles
  bool bold = false, italic = false, underline = false;
  QString text;                 // the text object: one character per frame
  PicturePtr objectPicture;     // object kinds 5 and 6
  PicturePtr backgroundPicture;  // nil: a plain background colour
  int motion = kLinearRight;
  double startAngle = 0, sweepAngle = 360;  // degrees
  PathTable path;                           // motion kind 8
  DrawingMode mode = DrawingMode::Move;
  double movieWidth = 400, movieHeight = 200;
  double steps = 18;  // the number of frames
};
