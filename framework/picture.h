#pragma once
// Off-screen pictures and their drawing state.
//
// A Picture is a 32-bit QImage (Format_RGB32). Its Graphics keeps colour, pen
// and text settings between uses, the way the drawing code relies on: set the
// pen once, draw many times.
//
// Pixel model: no anti-aliasing; outlines lie inside the rectangle given and
// are drawn with a rectangular pen of PenWidth x PenHeight; round-rectangle
// corner sizes are the corner oval's width and height; DrawPicture scales a
// source rectangle into a destination rectangle; a source picture whose
// Transparent is 1 lets its white pixels show what lies beneath.
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

using Color = std::uint32_t;  // 0x00RRGGBB

class Picture;

class Graphics {
 public:
  explicit Graphics(Picture* owner) : owner_(owner) {}

  Color ForeColor = 0x000000;
  int PenWidth = 1;
  int PenHeight = 1;
  QString TextFont;  // empty: the system's default font
  int TextSize = 12;  // pixels; 0 means the default size
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;

  void FillRect(int x, int y, int w, int h);
  void DrawRect(int x, int y, int w, int h);
  void FillOval(int x, int y, int w, int h);
  void DrawOval(int x, int y, int w, int h);
  void FillRoundRect(int x, int y, int w, int h, int ovalW, int ovalH);
  void DrawRoundRect(int x, int y, int w, int h, int ovalW, int ovalH);
  void DrawLine(int x1, int y1, int x2, int y2);
  // Text with its baseline at y. wrapWidth 0 means no wrapping.
  void DrawString(const QString& text, int x, int baselineY, int wrapWidth = 0, bool condense = false);
  // The source rectangle of pic scaled into the destination rectangle.
  void DrawPicture(const Picture& pic, int x, int y, int w, int h, int sx, int sy, int sw, int sh);
  // The whole of pic at (x, y), unscaled.
  void DrawPicture(const Picture& pic, int x, int y);

 private:
  Picture* owner_;
};

class Picture {
 public:
  Picture(int width, int height);
  explicit Picture(QImage image);
  // A picture over memory that the caller provides: width x height pixels
  // of 4 bytes, rows of bytesPerLine, and `bytes` in all from the start
  // (at least bytesPerLine * height + TailRoom(bytesPerLine)). The memory
  // lives as long as the picture or a copy of its image.
  Picture(std::shared_ptr<uchar> memory, qsizetype bytes, int width, int height, qsizetype bytesPerLine);
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  class Graphics* Graphics() { return &graphics_; }

  // 1: white pixels are transparent when this picture is drawn elsewhere.
  int Transparent = 0;

  QImage& image() { return image_; }
  const QImage& image() const { return image_; }

  // Colour converters and encoders read a little past the last pixel they
  // use (their vector code reads whole blocks, a chroma pair reaches one
  // pixel beyond an odd row). A new picture has this much zeroed memory of
  // its own after its last row, so nobody given its pixels reads outside
  // them: one spare row and a block.
  static qsizetype TailRoom(qsizetype bytesPerLine) { return bytesPerLine + 64; }
  // How many bytes from image().constBits() may be read: the pixels and the
  // tail room while the image still lies in the picture's own memory, just
  // the pixels once it does not (an image put in its place).
  qsizetype ReadableBytes() const;

 private:
  QImage image_;
  std::shared_ptr<uchar> memory_;  // the memory image_ was made on, if any
  qsizetype memoryBytes_ = 0;
  class Graphics graphics_{this};
};

using PicturePtr = std::shared_ptr<Picture>;

// Letters drawn larger than 64 pixels are filled from the font's outlines,
// which the font library hints with state that the text drawn just before
// with the same font file left behind - the window's own labels included -
// so one and the same letter came out differently from one frame to the
// next. Called before the application object is made, this has every such
// letter drawn as its first drawing in the process draws it, whatever was
// drawn before; smaller letters are drawn as they always were.
void MakeLargeTextRepeatable();

// A new white picture. Depth is accepted for the callers' sake; every picture
// is 32 bits deep. Sizes below 1 are raised to 1; nil when memory runs out.
PicturePtr NewPicture(int width, int height, int depth);
