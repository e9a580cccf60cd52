// The path editor's window and controls, made in a fixed order: a control made
// earlier lies behind one made later (the canvas in front of its frame).
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "path_editor/fin_path.h"

namespace {

constexpr Color kWindowBackground = 0x999999;
constexpr Color kWellBackground = 0xDDDDDD;
constexpr int kCanvasWidth = 700;
constexpr int kCanvasHeight = 520;

TextStyle Arial(int size, bool bold) {
  TextStyle s;
  s.font = "Arial";
  s.size = size;
  s.bold = bold;
  return s;
}

}  // namespace

// --- the canvas ---

PathCanvas::PathCanvas(QWidget* parent, const QString& name)
    : QWidget(parent), screen_(kCanvasWidth, kCanvasHeight) {
  info.name = name;
  setObjectName(name);
  setMouseTracking(true);  // moves arrive with no button held
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PathCanvas::paintEvent(QPaintEvent*) {
  // Whatever was drawn through the canvas's graphics stays on screen, so a
  // repaint by the window system shows the same thing again.
  QPainter painter(this);
  painter.drawImage(0, 0, screen_.image());
}

void PathCanvas::enterEvent(QEnterEvent*) {
  if (MouseEnter) MouseEnter();
}

void PathCanvas::leaveEvent(QEvent*) {
  if (MouseExit) MouseExit();
}

void PathCanvas::mouseMoveEvent(QMouseEvent* e) {
  // A move with a button held is a drag, which the canvas does not follow;
  // during a drag the pointer may also lie outside the canvas.
  if (e->buttons() != Qt::NoButton) return;
  const int x = static_cast<int>(std::floor(e->position().x()));
  const int y = static_cast<int>(std::floor(e->position().y()));
  if (!rect().contains(x, y)) return;
  if (MouseMove) MouseMove(x, y);
}

void PathCanvas::mousePressEvent(QMouseEvent* e) {
  // Only the primary button adds a point; a right or middle click, which on
  // this desktop means a context menu or a paste, adds nothing.
  if (e->button() != Qt::LeftButton) return;
  const int x = static_cast<int>(std::floor(e->position().x()));
  const int y = static_cast<int>(std::floor(e->position().y()));
  if (!rect().contains(x, y)) return;
  if (MouseDown) MouseDown(x, y);
}

// --- the window ---

void fin_path::Layout() {
  setObjectName("fin_path");
  setWindowTitle("Untitled");
  // A plain box: no title bar, no close box, not resizable.
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(740, 590);
  SetBackgroundColor(this, kWindowBackground);
  setModal(true);
  setAttribute(Qt::WA_DeleteOnClose);
}

void fin_path::CreateControls() { _CreateControls0(); }

void fin_path::_CreateControls0() {
  PushButton1 = new PushButton(this, "PushButton1", "Back to Main Window");
  controls_.Add(PushButton1, "PushButton1");
  PushButton1->setGeometry(520, 560, 210, 20);
  ApplyTextStyle(PushButton1, Arial(10, true));
  PushButton1->setDefault(true);
  PushButton1->Action = [this](int) { PushButton1_Action(); };

  ImageWell1 = new QFrame(this);
  ImageWell1->setObjectName("ImageWell1");
  controls_.Add(ImageWell1, "ImageWell1");
  ImageWell1->setGeometry(10, 10, 720, 540);
  ImageWell1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ImageWell1->setLineWidth(2);
  SetBackgroundColor(ImageWell1, kWellBackground);

  const char* texts[5] = {"x: 0", "y: 0", "dx: 0", "dy: 0", "n: 0"};
  const int lefts[5] = {20, 75, 130, 185, 240};
  const bool bold[5] = {true, true, false, false, true};
  for (int k = 0; k < 5; ++k) {
    auto* s = new StaticCCText(this, k);
    controls_.Add(s, "StaticCC", k);
    StaticCC[k] = s;
    s->setGeometry(lefts[k], 560, 50, 20);
    s->setText(texts[k]);
    s->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    s->setWordWrap(false);
    ApplyTextStyle(s, Arial(10, bold[k]));
    s->SetTextColor(k == 4 ? 0x800000 : 0xFFFF00);
  }

  PushButton2 = new PushButton(this, "PushButton2", "Clear");
  controls_.Add(PushButton2, "PushButton2");
  PushButton2->setGeometry(300, 560, 210, 20);
  ApplyTextStyle(PushButton2, Arial(10, true));
  PushButton2->setAutoDefault(false);
  PushButton2->Action = [this](int) { PushButton2_Action(); };

  // The canvas lies inside the image well, at (20, 20) of the window.
  Canvas1 = new PathCanvas(ImageWell1, "Canvas1");
  controls_.Add(Canvas1, "Canvas1");
  Canvas1->setGeometry(10, 10, kCanvasWidth, kCanvasHeight);
  Canvas1->MouseEnter = [this] { Canvas1_MouseEnter(); };
  Canvas1->MouseExit = [this] { Canvas1_MouseExit(); };
  Canvas1->MouseMove = [this](int x, int y) { Canvas1_MouseMove(x, y); };
  Canvas1->MouseDown = [this](int x, int y) { return Canvas1_MouseDown(x, y); };
  AddMenuHandlers();
}
