#pragma once
// The path editor: a modal window with a 700 x 520 canvas on which each click
// adds one point of the path that motion kind 8 follows. The points go
// straight into the path table it is handed; the editor keeps no list of its
// own. "Back to Main Window" turns them into a finished path (moved to the
// origin, with its extent in row n + 1 and its length) and closes.
#include <QDialog>
#include <QPointer>
#include <array>
#include <functional>

#include "engine/path_table.h"
#include "framework/controls.h"
#include "framework/picture.h"

// The drawing surface of the path editor. Like a picture, it
// has its own Graphics whose settings (colour, pen) persist between uses;
// what is drawn through it lands in the canvas's screen buffer, which the
// widget shows on every repaint.
class PathCanvas : public QWidget {
  Q_OBJECT
 public:
  PathCanvas(QWidget* parent, const QString& name);
  ControlInfo info;
  class Graphics* Graphics() { return screen_.Graphics(); }
  // What the canvas shows at this moment.
  const QImage& Screen() const { return screen_.image(); }

  std::function<void()> MouseEnter;
  std::function<void()> MouseExit;
  std::function<void(int x, int y)> MouseMove;
  std::function<bool(int x, int y)> MouseDown;

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  Picture screen_;
};

class fin_path : public QDialog {
  Q_OBJECT
 public:
  // The open path editor, or a new one over the given window, editing path,
  // which has to outlive it (each opening is a new window, which deletes
  // itself when it closes).
  static fin_path* Instance(QWidget* parent, PathTable* path);
  // Shows the window modally; returns when it has closed.
  void ShowModal();

  ~fin_path() override;

  // --- property ---
  PicturePtr q;  // what the canvas keeps: white ground, dots and lines

  // --- controls ---
  // The five readouts x, y, dx, dy, n.
  // The readouts' control-array class; a member knows its index.
  class StaticCCText : public StaticText {
   public:
    StaticCCText(QWidget* parent, int index) : StaticText(parent, "StaticCC", index) {}
  };
  PushButton* PushButton1 = nullptr;  // "Back to Main Window"
  QFrame* ImageWell1 = nullptr;
  std::array<StaticCCText*, 5> StaticCC{};
  PushButton* PushButton2 = nullptr;  // "Clear"
  PathCanvas* Canvas1 = nullptr;

  const ControlRegistry& Controls() const { return controls_; }

  // --- handlers ---
  void PushButton1_Action();
  void PushButton2_Action();
  void Canvas1_MouseEnter();
  void Canvas1_MouseExit();
  void Canvas1_MouseMove(int X, int Y);
  bool Canvas1_MouseDown(int X, int Y);
  void Canvas1_Open();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  fin_path(QWidget* parent, PathTable* path);
  void Layout();
  void CreateControls();
  void _CreateControls0();
  void AddMenuHandlers() {}
  void ResetReadouts();
  // The finalisation without the closing, shared by the button and by a
  // close that comes from the window system.
  void FinishPath();
  void ShowBackingPicture();  // draws q onto the canvas

  ControlRegistry controls_;
  PathTable* path_;
  bool finishing_ = false;  // the path is being finished: no more points
  static QPointer<fin_path> open_;
};
