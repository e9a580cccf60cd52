// The main window's controls, made in a fixed order: a control made earlier
// lies behind one made later.
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>

#include "document/animation_state.h"
#include "framework/text.h"
#include "main_window/preview_area.h"
#include "main_window/render_progress.h"
#include "main_window/window1.h"
#include "resources/builtin_pictures.h"

namespace {

constexpr Color kWindowBackground = 0xE6E6E6;

struct LabelSpec {
  int x, y, w, h;
};

TextStyle Arial(int size, bool bold = false, bool italic = false) {
  TextStyle s;
  s.font = "Arial";
  s.size = size;
  s.bold = bold;
  s.italic = italic;
  return s;
}

}  // namespace

void Window1::Layout() {
  // The menus first: the window is centred with its menu bar.
  if (Services().installMenus) Services().installMenus(this);
  content_ = new QWidget(this);
  content_->setFixedSize(750, 600);
  SetBackgroundColor(content_, kWindowBackground);
  setCentralWidget(content_);
  setWindowTitle("Velostrip");
  setMinimumSize(64, 64);
  setMaximumSize(32000, 32000);
  // Not resizable, not maximisable; minimise and close stay.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // Centred on the main screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const QSize size = sizeHint();
    move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
  }
}

void Window1::CreateControls() {
  _CreateControls0();
  _CreateControls1();
}

void Window1::_CreateControls0() {
  QWidget* w = content_;
  auto rect = [&](const QString& name, int index, int x, int y, int width, int height, Color fill) {
    auto* r = new Rectangle(w, name, index);
    controls_.Add(r, name, index);
    r->setGeometry(x, y, width, height);
    r->SetFillColor(fill);
    return r;
  };
  rettoboldo = rect("rettoboldo", -1, -40, 34, 30, 30, 0x00FF00);
  rettopreso = rect("rettopreso", -1, -40, 75, 30, 30, 0xFF0000);
  Rectangle3 = rect("Rectangle3", -1, 180, 0, 570, 600, 0xB3B3B3);
  Rectangle1 = rect("Rectangle1", -1, 132, 102, 38, 18, 0x4C4C4C);
  Rectangle2 = rect("Rectangle2", -1, 132, 127, 38, 18, 0x4C4C4C);
  Rectcolore[0] = rect("Rectcolore", 0, 130, 100, 38, 18, kDefaultObjectColor);
  Rectcolore[0]->setToolTip("click to select object fore color (not for custom images)");
  Rectcolore[1] = rect("Rectcolore", 1, 130, 125, 38, 18, kDefaultBackgroundColor);
  Rectcolore[1]->setToolTip("click to select background color");
  for (Rectangle* r : Rectcolore)
    r->MouseDown = [this](int i, int x, int y) {
      RunUserAction([this, i, x, y] { Rectcolore_MouseDown(i, x, y); });
      return false;
    };

  const int fieldTops[8] = {155, 180, 321, 346, 371, 205, 396, 421};
  const NumberFieldTexts defaults = DefaultNumberFieldTexts();
  for (int k : {0, 1, 5, 2, 3, 4, 6, 7}) {
    auto* e = new EditField(w, "EditXY", k);
    controls_.Add(e, "EditXY", k);
    EditXY[k] = e;
    e->setGeometry(130, fieldTops[k], 40, 20);
    ApplyTextStyle(e, Arial(12));
    e->SetTextColor(0x000000);
    SetBackgroundColor(e, 0xFFFFFF);
    e->setFrame(true);
    e->setMaxLength(kNumberFieldMaxLength);
    e->SetUseFocusRing(false);  // the label's and field's colours mark the focus
    {
      const QSignalBlocker block(e);
      e->setText(defaults[k]);
    }
    e->setEnabled(k < 5);
    e->TextChange = [this](int i) { EditXY_TextChange(i); };
    e->GotFocus = [this](int i) { EditXY_GotFocus(i); };
    e->KeyDown = [this](int i, const QString& key) {
      // Return renders; as a user request it waits for a render under way.
      // A Return held down renders once, not once per repeat.
      if (Asc(key) == 13 && !EditXY[i]->KeyRepeating())
        RunUserAction([this, i, key] { EditXY_KeyDown(i, key); }, RequestKind::Preview);
      return false;
    };
    e->LostFocus = [this](int i) { EditXY_LostFocus(i); };
  }

  auto label = [&](const QString& name, int index, int x, int y, int width, int height, const QString& text,
                   Qt::Alignment align, const TextStyle& style, Color color) {
    auto* s = new StaticText(w, name, index);
    controls_.Add(s, name, index);
    s->setGeometry(x, y, width, height);
    s->setText(text);
    s->setAlignment(align | Qt::AlignVCenter);
    ApplyTextStyle(s, style);
    s->SetTextColor(color);
    return s;
  };
  tStatic1 = label("tStatic1", -1, 68, 105, 55, 12, "fore color", Qt::AlignRight, Arial(9), 0x000000);
  tStatic2 = label("tStatic2", -1, 10, 130, 113, 12, "background or image", Qt::AlignRight, Arial(9), 0x000080);
  // The help tag's two lines: a line feed is what breaks a line here.
  tStatic2->setToolTip("click here to choose a background image;\n(ctrl+click to remove loaded image).");
  tStatic2->MouseDown = [this](int i, int x, int y) {
    RunUserAction([this, i, x, y] { tStatic2_MouseDown(i, x, y); });
    return false;
  };
  tStatic2->MouseEnter = [this](int i) { tStatic2_MouseEnter(i); };
  tStatic2->MouseExit = [this](int i) { tStatic2_MouseExit(i); };
  const char* labelTexts[8] = {"horizontal size (pixels)", "vertical size (pixels)", "steps", "width",
                               "height", "border (pixels)", "start angle", "animation angle"};
  const LabelSpec labelBounds[8] = {{10, 159, 115, 12}, {10, 184, 115, 12}, {83, 325, 37, 12},
                                    {83, 350, 37, 12},  {83, 375, 37, 12},  {10, 209, 115, 12},
                                    {10, 400, 110, 12}, {10, 425, 110, 12}};
  auto numberLabel = [&](int k) {
    const LabelSpec& b = labelBounds[k];
    StaticT[k] = label("StaticT", k, b.x, b.y, b.w, b.h, labelTexts[k], Qt::AlignRight, Arial(9), 0x000000);
    StaticT[k]->setEnabled(EditXY[k]->isEnabled());
  };
  for (int k = 0; k <= 4; ++k) numberLabel(k);
  StaticText8 = label("StaticText8", -1, 10, 5, 160, 20, "Animation controls", Qt::AlignHCenter,
                      Arial(12, true, true), 0x000080);

  LogEditField = new TextArea(w, "LogEditField");
  controls_.Add(LogEditField, "LogEditField");
  LogEditField->setGeometry(10, 530, 160, 60);
  LogEditField->setReadOnly(true);
  LogEditField->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LogEditField->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LogEditField->SetAlignmentCentered(true);
  ApplyTextStyle(LogEditField, Arial(9, true));
  SetTextColor(LogEditField, 0x800000);
  SetBackgroundColor(LogEditField, 0xFFFFFF);
  LogEditField->document()->setDocumentMargin(2);
  LogEditField->TextChange = [this](int i) { LogEditField_TextChange(i); };

  StaticText10 = label("StaticText10", -1, 10, 510, 160, 18, "Log / Messages", Qt::AlignHCenter,
                       Arial(10, true, true), 0x800000);
  numberLabel(5);

  auto button = [&](const QString& name, int y, const QString& caption) {
    auto* b = new PushButton(w, name, caption);
    controls_.Add(b, name);
    b->setGeometry(10, y, 160, 20);
    ApplyTextStyle(b, Arial(10, true));
    return b;
  };
  PushButton2 = button("PushButton2", 485, "Export QuickTime Movie..");
  PushButton2->Action = [this](int i) { RunUserAction([this, i] { PushButton2_Action(i); }); };
  PushButton4 = button("PushButton4", 455, "Export Frames as PICTs..");
  PushButton4->Action = [this](int i) { RunUserAction([this, i] { PushButton4_Action(i); }); };
  numberLabel(6);
  numberLabel(7);
  StaticText11 = label("StaticText11", -1, 340, 3, 200, 16, "Movie / Frames Preview (low quality)",
                       Qt::AlignHCenter, Arial(10, false, true), 0x000080);

  for (int k = 0; k <= 6; ++k) CreateObjectButton(k);

  MoviePlayer1 = new MoviePlayer(w);
  MoviePlayer1->setObjectName("MoviePlayer1");
  controls_.Add(MoviePlayer1, "MoviePlayer1");
  MoviePlayer1->setGeometry(185, 20, 560, 560);

  for (int k = 7; k <= 9; ++k) CreateObjectButton(k);

  const char* modes[3] = {"Move", "Copy", "Copy Clear"};
  for (int k = 0; k < 3; ++k) {
    auto* r = new RadioButton(w, "RadioBu", modes[k], k);
    controls_.Add(r, "RadioBu", k);
    RadioBu[k] = r;
    r->setGeometry(10, 323 + 25 * k, 75, 16);
    ApplyTextStyle(r, Arial(10));
    if (k == 0) r->setChecked(true);
    r->Action = [this](int i) { RadioBu_Action(i); };
    // A click is a request like any other: the mode changes when its turn
    // comes, and not if by then the mode is not allowed (random motion).
    r->Click = [this](int i) {
      RunUserAction([this, i] {
        if (RadioBu[i]->isEnabled()) RadioBu[i]->SetValue(true);
      });
    };
  }
  rettoboldo1 = rect("rettoboldo1", -1, -40, 233, 30, 30, 0x00FF00);
  rettopreso1 = rect("rettopreso1", -1, -40, 274, 30, 30, 0xFF0000);
  Line1 = new Line(w, "Line1", 15, 235, 165, 235, 1, 0x999999);
  controls_.Add(Line1, "Line1");
  CreateMotionButton(0);
  CreateMotionButton(2);
}

void Window1::_CreateControls1() {
  for (int k : {4, 6, 1, 3, 5, 7, 8, 9}) CreateMotionButton(k);
  // Under the preview area, where the player never reaches: the progress of
  // a long render.
  renderProgress_ = new RenderProgress(content_);
  renderProgress_->setGeometry(kPreviewLeft, kPreviewTop + kPreviewSize + 3, kPreviewSize, 14);
}

void Window1::CreateObjectButton(int k) {
  static const int left[5] = {10, 43, 76, 109, 142};
  // Grid places of the object kinds: (column, row).
  static const int column[10] = {0, 1, 0, 1, 3, 4, 4, 2, 2, 3};
  static const int row[10] = {0, 0, 1, 1, 1, 0, 1, 0, 1, 0};
  static PicturePtr (*const icons[10])() = {ogg1, ogg3, ogg2, ogg4, nullptr, Immagine1, Untitled3, ogg5, ogg6, ogg7};
  auto* b = new BevelButton(content_, "BevelB", k);
  controls_.Add(b, "BevelB", k);
  BevelB[k] = b;
  if (icons[k]) b->SetIcon(icons[k]());
  b->setGeometry(left[column[k]], row[k] == 0 ? 30 : 62, 28, 28);
  TextStyle style;
  style.font = "Palatino";
  style.size = 16;
  style.bold = true;
  ApplyTextStyle(b, style);
  if (k == 4) {
    b->SetCaption("T");
    b->setToolTip("Write a text to animate");
  } else if (k == 5) {
    b->setToolTip("Load an image (white will not be transparent)");
  } else if (k == 6) {
    b->setToolTip("Load an image (white will be transparent)");
  }
  b->Action = [this](int i) { RunUserAction([this, i] { BevelB_Action(i); }); };
  b->MouseEnter = [this](int i) { BevelB_MouseEnter(i); };
  b->MouseExit = [this](int i) { BevelB_MouseExit(i); };
}

void Window1::CreateMotionButton(int k) {
  static PicturePtr (*const icons[10])() = {Senzatitolo2, Senzatitolo3, Senzatitolo4,  Senzatitolo5,
                                            Senzatitolo6, Senzatitolo7, Senzatitolo8,  Senzatitolo9,
                                            Senzatitolo13, Senzatitolo12};
  static const char* names[10] = {"linear from left to right",   "linear from right to left",
                                  "round clockwise",             "round counterclockwise",
                                  "spiral out clockwise",        "spiral out counterclockwise",
                                  "spiral in clockwise",         "spiral in counterclockwise",
                                  "Edit PATH..",                 "RANDOM"};
  auto* b = new BevelButton(content_, "BevelAnimation", k);
  controls_.Add(b, "BevelAnimation", k);
  BevelAnimation[k] = b;
  b->SetIcon(icons[k]());
  b->setGeometry(10 + 33 * (k / 2), 250 + 32 * (k % 2), 28, 28);
  b->setToolTip(names[k]);
  b->Action = [this](int i) { RunUserAction([this, i] { BevelAnimation_Action(i); }); };
  b->MouseEnter = [this](int i) { BevelAnimation_MouseEnter(i); };
  b->MouseExit = [this](int i) { BevelAnimation_MouseExit(i); };
}
