#pragma once
// The pictures built into the program: the button icons of the main window and
// the cursor used for clicking points on a canvas.
//
// The PNG files live in resources/ and are compiled in with Qt's resource
// system (resources/resources.qrc, read as ":/pict_<number>.png" and
// ":/cursor_<number>.png"). Each picture is read once, on first use, and the
// same shared Picture is handed out afterwards. All of them have Transparent 1:
// their pure white pixels let whatever lies beneath show through.
#include <QCursor>

#include "framework/picture.h"

// The picture with the given resource number, read on first use and cached.
// nil when the program has no picture of that number.
PicturePtr BuiltinPicture(int resourceNumber);

// How many times a picture resource has been read so far (cache misses).
int BuiltinPictureReadCount();

// Object kinds.
PicturePtr ogg1();  // 182: filled oval
PicturePtr ogg2();  // 183: oval outline
PicturePtr ogg3();  // 184: filled rectangle
PicturePtr ogg4();  // 185: rectangle outline
PicturePtr ogg5();  // 186: filled round rectangle
PicturePtr ogg6();  // 187: round-rectangle outline
PicturePtr ogg7();  // 188: circle inside a square outline
PicturePtr Immagine1();  // 169: load an image, white stays opaque
PicturePtr Untitled3();  // 168: load an image, white becomes transparent

// Motions.
PicturePtr Senzatitolo2();  // 174: linear, left to right
PicturePtr Senzatitolo3();  // 175: linear, right to left
PicturePtr Senzatitolo4();  // 176: round, clockwise
PicturePtr Senzatitolo5();  // 177: round, counterclockwise
PicturePtr Senzatitolo6();  // 178: spiral out, clockwise
PicturePtr Senzatitolo7();  // 179: spiral out, counterclockwise
PicturePtr Senzatitolo8();  // 180: spiral in, clockwise
PicturePtr Senzatitolo9();  // 181: spiral in, counterclockwise
PicturePtr Senzatitolo12();  // 172: random
PicturePtr Senzatitolo13();  // 173: edit path

// Cursor 168: a crosshair with its hot spot at the centre. Needs a
// QGuiApplication.
QCursor cursore();
