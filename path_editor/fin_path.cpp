// The path editor's behaviour: capturing points into the path table it was
// handed, the readouts, "Clear", and finishing the path.
//
// Path table while capturing: (0,0) the point count n, rows 1..n the points
// in canvas pixels, bounds exactly (n, 1). A finished path also has row n+1,
// the extent (width, height of the bounding box), and (n+2, 0), the length.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "framework/dialogs.h"
#include "framework/system.h"
#include "framework/text.h"
#include "path_editor/fin_path.h"
#include "resources/builtin_pictures.h"

namespace {
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kNavy = 0x00007F;   // dots and lines of the path
constexpr Color kGreen = 0x00FF00;  // the crosshair through the last click
}  // namespace

QPointer<fin_path> fin_path::open_;

fin_path* fin_path::Instance(QWidget* parent, PathTable* path) {
  if (open_) return open_.data();
  auto* editor = new fin_path(parent, path);
  open_ = editor;
  return editor;
}

fin_path::fin_path(QWidget* parent, PathTable* path) : QDialog(parent), path_(path) {
  Layout();
  CreateControls();
  Canvas1_Open();
}

fin_path::~fin_path() = default;

void fin_path::ShowModal() {
  // Centred on the main screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  exec();  // the window deletes itself as it closes: touch nothing after this
}

void fin_path::ShowBackingPicture() {
  Canvas1->Graphics()->DrawPicture(*q, 0, 0);
  Canvas1->update();
}

void fin_path::ResetReadouts() {
  StaticCC[0]->SetText("x: 0");
  StaticCC[1]->SetText("y: 0");
  StaticCC[2]->SetText("dx: 0");
  StaticCC[3]->SetText("dy: 0");
  StaticCC[4]->SetText("n: 0");
}

void fin_path::Canvas1_Open() {
  q = NewPicture(Canvas1->width(), Canvas1->height(), 32);
  Graphics* g = q->Graphics();
  g->ForeColor = kWhite;
  g->FillRect(0, 0, q->Width(), q->Height());
  // The picture keeps navy and a 3 x 3 pen from here on.
  g->ForeColor = kNavy;
  g->PenWidth = 3;
  g->PenHeight = 3;

  // An earlier path is gone from this moment; its rows stay in the table
  // until the first click trims them.
  path_->Set(0, 0, 0);
  ResetReadouts();

  Graphics* c = Canvas1->Graphics();
  c->ForeColor = kGreen;
  c->PenWidth = 1;
  c->PenHeight = 1;
  ShowBackingPicture();
}

void fin_path::Canvas1_MouseEnter() { setCursor(cursore()); }

void fin_path::Canvas1_MouseExit() { setCursor(Qt::ArrowCursor); }

void fin_path::Canvas1_MouseMove(int X, int Y) {
  StaticCC[0]->SetText("x: " + Str(X));
  StaticCC[1]->SetText("y: " + Str(Y));
  const PathTable& path = *path_;
  if (path.Get(0, 0) > 0) {
    const int n = ToInteger(path.Get(0, 0));
    StaticCC[2]->SetText("dx: " + Str(X - path.Get(n, 0)));
    StaticCC[3]->SetText("dy: " + Str(Y - path.Get(n, 1)));
  }
}

bool fin_path::Canvas1_MouseDown(int X, int Y) {
  if (finishing_) return false;
  PathTable& path = *path_;
  path.Set(0, 0, path.Get(0, 0) + 1);
  const int n = ToInteger(path.Get(0, 0));
  path.Redim(n, 1);
  path.Set(n, 0, X);
  path.Set(n, 1, Y);
  StaticCC[4]->SetText("n: " + Str(n));

  Graphics* g = q->Graphics();
  if (n > 1) {
    // The pen's top-left corner follows the line, so shifting both ends by
    // one pixel centres the 3-pixel stroke on the points.
    g->DrawLine(ToInteger(path.Get(n - 1, 0) - 1.0), ToInteger(path.Get(n - 1, 1) - 1.0),
                ToInteger(path.Get(n, 0) - 1.0), ToInteger(path.Get(n, 1) - 1.0));
  }
  g->FillOval(X - 4, Y - 4, 9, 9);
  ShowBackingPicture();

  // The crosshair is drawn on the canvas only; the next click wipes it.
  Graphics* c = Canvas1->Graphics();
  c->DrawLine(0, Y, Canvas1->width(), Y);
  c->DrawLine(X, 0, X, Canvas1->height());
  Canvas1->update();
  return false;
}

void fin_path::PushButton2_Action() {
  if (finishing_) return;
  path_->Set(0, 0, 0);
  ResetReadouts();
  Graphics* g = q->Graphics();
  g->ForeColor = kWhite;
  g->FillRect(0, 0, q->Width(), q->Height());
  g->ForeColor = kNavy;
  ShowBackingPicture();
}

void fin_path::FinishPath() {
  finishing_ = true;
  setCursor(Qt::ArrowCursor);
  PathTable& path = *path_;

  if (!(path.Get(0, 0) > 2.0)) {
    path.Set(0, 0, 0);
    MsgBox("Three points or more needed to set animation path!");
    return;
  }

  // Move the path so that its bounding box starts at (0, 0). Canvas
  // coordinates never reach 1000.
  double minX = 1000.0, minY = 1000.0;
  for (double i = 1; i <= path.Get(0, 0); i += 1) {
    const int k = ToInteger(i);
    minX = Min(minX, path.Get(k, 0));
    minY = Min(minY, path.Get(k, 1));
    YieldToFramework();
  }
  double maxX = 0.0, maxY = 0.0;
  for (double i = 1; i <= path.Get(0, 0); i += 1) {
    const int k = ToInteger(i);
    path.Set(k, 0, path.Get(k, 0) - minX);
    path.Set(k, 1, path.Get(k, 1) - minY);
    maxX = Max(maxX, path.Get(k, 0));
    maxY = Max(maxY, path.Get(k, 1));
    YieldToFramework();
  }

  const int n = ToInteger(path.Get(0, 0));
  path.Redim(n + 2, 1);
  path.Set(n + 1, 0, maxX);  // the extent, from which the caller sizes the movie
  path.Set(n + 1, 1, maxY);

  // The length, summed segment by segment in order; the path walk of motion
  // kind 8 sums the same expression in the same order and so meets this
  // total exactly at the last point.
  path.Set(n + 2, 0, 0);
  for (double i = 2; i <= path.Get(0, 0); i += 1) {
    const int k = ToInteger(i);
    path.Set(n + 2, 0,
             path.Get(n + 2, 0) + Sqrt(Pow(path.Get(k, 0) - path.Get(k - 1, 0), 2) +
                                       Pow(path.Get(k, 1) - path.Get(k - 1, 1), 2)));
    YieldToFramework();
  }
}

void fin_path::PushButton1_Action() {
  if (finishing_) return;
  FinishPath();
  close();
}

void fin_path::keyPressEvent(QKeyEvent* e) {
  // Neither button is a cancel button: Escape does nothing. Return and Enter
  // press the default button, "Back to Main Window".
  if (e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void fin_path::closeEvent(QCloseEvent* e) {
  // The window has no close box, but a window system can still ask it to
  // close: leave the way "Back to Main Window" does, so the path table is
  // never left half made.
  if (!finishing_) FinishPath();
  QDialog::closeEvent(e);
}
