// The text composer's window and controls, made in a fixed order: a control
// made earlier lies behind one made later.
#include <QGuiApplication>
#include <QFontMetrics>
#include <QProxyStyle>
#include <QStyleOptionButton>
#include <QScreen>
#include <limits>

#include "text_composer/window2.h"

namespace {

constexpr Color kWindowBackground = 0x999999;

TextStyle Arial(int size, bool bold = false, bool italic = false, bool underline = false) {
  TextStyle s;
  s.font = "Arial";
  s.size = size;
  s.bold = bold;
  s.italic = italic;
  s.underline = underline;
  return s;
}

// The character buttons are narrow: their labels sit close to the circles.
class CompactRadioStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_RadioButtonLabelSpacing) return 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

// --- the control-array classes ---

Window2::RadioBControl::RadioBControl(QWidget* parent, int index)
    : RadioButton(parent, "RadioB", "a", index) {
  caption_ = "a";
  // Clicking a character keeps the keyboard in the text field, so the user
  // can go on typing; and arrow keys never wander through the grid.
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (Click) Click(info.index);
  });
}

void Window2::RadioBControl::SetCaption(const QString& c) {
  caption_ = c;
  const int code = c.size() == 1 ? c.at(0).unicode() : -1;
  // An ampersand alone would be taken for a shortcut marker and vanish.
  QString label = code >= 0 ? ButtonLabel(code) : c;
  setText(label.replace('&', "&&"));
  ApplyFont(font());
}

void Window2::RadioBControl::SetTextFont(const QString& name) {
  textFont_ = name;
  QFont f = font();
  f.setFamily(name);
  ApplyFont(f);
}

void Window2::RadioBControl::SetStyle(int which, bool on) {
  QFont f = font();
  if (which == 0) f.setBold(on);
  if (which == 1) f.setItalic(on);
  if (which == 2) f.setUnderline(on);
  ApplyFont(f);
}

void Window2::RadioBControl::ApplyFont(QFont f) {
  QStyleOptionButton option;
  initStyleOption(&option);
  const int room = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this).width();
  const QString label = text().replace("&&", "&");
  f.setPixelSize(12);
  while (f.pixelSize() > 7 && QFontMetrics(f).horizontalAdvance(label) > room) f.setPixelSize(f.pixelSize() - 1);
  setFont(f);
}

Window2::CheckBControl::CheckBControl(QWidget* parent, const QString& caption, int index)
    : QCheckBox(caption, parent) {
  info = {"CheckB", index};
  setObjectName("CheckB");
  // A box set from code runs its action as a click does, so the grid and the
  // field always show what the boxes say.
  connect(this, &QCheckBox::toggled, this, [this](bool) {
    if (Action) Action(info.index);
  });
}

QString Window2::ButtonLabel(int code) {
  if (code == 32) return QString(QChar(0x2423));  // open box: the space
  if (code == 127) return "^?";
  if (code >= 0 && code < 32) return QString('^') + QChar(char16_t('@' + code));
  return QString(QChar(char16_t(code)));
}

// --- the window ---

void Window2::Layout() {
  setWindowTitle("ASCII Text Character");
  // A fixed-size dialog with a title but no close box, minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(323, 530);
  setMinimumSize(323, 530);
  SetBackgroundColor(this, kWindowBackground);
  // Centred on the main screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(323 / 2, 530 / 2));
  }
}

void Window2::CreateControls() {
  _CreateControls0();
  _CreateControls1();
  _CreateControls2();
}

void Window2::CreateCharacterButton(int i) {
  auto* b = new RadioBControl(this, i);
  controls_.Add(b, "RadioB", i);
  RadioB[i] = b;
  b->setGeometry(11 + 38 * (i % 8), 63 + 23 * (i / 8), 37, 22);
  ApplyTextStyle(b, Arial(12));
  b->SetValue(i == 0 || i == 65);
  b->Click = [this](int index) { RadioB_Action(index); };
}

void Window2::_CreateControls0() {
  PopupMenu1 = new QComboBox(this);
  PopupMenu1->setObjectName("PopupMenu1");
  controls_.Add(PopupMenu1, "PopupMenu1");
  PopupMenu1->setGeometry(10, 10, 303, 20);
  ApplyTextStyle(PopupMenu1, Arial(12));
  PopupMenu1->setMaxVisibleItems(20);
  connect(PopupMenu1, &QComboBox::currentIndexChanged, this, [this](int) { PopupMenu1_Change(); });
  for (int i = 0; i <= 48; ++i) CreateCharacterButton(i);
}

void Window2::_CreateControls1() {
  for (int i = 49; i <= 98; ++i) CreateCharacterButton(i);
}

void Window2::_CreateControls2() {
  for (int i = 99; i <= 127; ++i) CreateCharacterButton(i);

  PushButton1 = new PushButton(this, "PushButton1", "Back to Main Window");
  controls_.Add(PushButton1, "PushButton1");
  PushButton1->setGeometry(87, 500, 224, 20);
  ApplyTextStyle(PushButton1, Arial(10, true));
  PushButton1->setDefault(true);
  PushButton1->Action = [this](int i) { PushButton1_Action(i); };

  const char* styles[3] = {"Bold", "Italic", "Underline"};
  for (int k = 0; k < 3; ++k) {
    auto* c = new CheckBControl(this, styles[k], k);
    controls_.Add(c, "CheckB", k);
    CheckB[k] = c;
    c->setGeometry(12 + 110 * k, 35, 81, 20);
    ApplyTextStyle(c, Arial(12, k == 0, k == 1, k == 2));
    c->SetValue(false);
    c->Action = [this](int i) { CheckB_Action(i); };
  }

  EditField1 = new EditField(this, "EditField1");
  controls_.Add(EditField1, "EditField1");
  EditField1->setGeometry(10, 435, 301, 58);
  ApplyTextStyle(EditField1, Arial(12));
  EditField1->SetTextColor(0x000000);
  SetBackgroundColor(EditField1, 0xFFFFFF);
  EditField1->setFrame(true);
  // No length limit (a line edit stops at 32767 characters by default).
  EditField1->setMaxLength(std::numeric_limits<int>::max());
  EditField1->setText("write a text here");
  EditField1->TextChange = [this](int i) { EditField1_TextChange(i); };

  StaticText1 = new StaticText(this, "StaticText1");
  controls_.Add(StaticText1, "StaticText1");
  StaticText1->setGeometry(10, 500, 65, 20);
  ApplyTextStyle(StaticText1, Arial(10, true));
  StaticText1->SetTextColor(0xFFFF00);
  StaticText1->SetText("0");

  // Made after every control, so that it is taken down after them too.
  auto* compact = new CompactRadioStyle;
  compact->setParent(this);
  for (RadioBControl* b : RadioB) b->setStyle(compact);

  setTabOrder(PopupMenu1, CheckB[0]);
  setTabOrder(CheckB[0], CheckB[1]);
  setTabOrder(CheckB[1], CheckB[2]);
  setTabOrder(CheckB[2], EditField1);
  setTabOrder(EditField1, PushButton1);
}
