#include "framework/controls.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionFrame>

#include "framework/text.h"

QColor ToQColor(Color c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

Color FromQColor(const QColor& c) {
  return (Color(c.red()) << 16) | (Color(c.green()) << 8) | Color(c.blue());
}

void ApplyTextStyle(QWidget* w, const TextStyle& style) {
  QFont f(style.font);
  // Sizes are the old screen points, one point a pixel.
  f.setPixelSize(style.size > 0 ? style.size : 12);
  f.setBold(style.bold);
  f.setItalic(style.italic);
  f.setUnderline(style.underline);
  w->setFont(f);
}

void SetTextColor(QWidget* w, Color c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Active, QPalette::WindowText, ToQColor(c));
  pal.setColor(QPalette::Inactive, QPalette::WindowText, ToQColor(c));
  pal.setColor(QPalette::Active, QPalette::Text, ToQColor(c));
  pal.setColor(QPalette::Inactive, QPalette::Text, ToQColor(c));
  w->setPalette(pal);
}

void SetBackgroundColor(QWidget* w, Color c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, ToQColor(c));
  pal.setColor(QPalette::Base, ToQColor(c));
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

QPixmap PixmapOf(const Picture& picture) {
  QImage img = picture.image().convertToFormat(QImage::Format_ARGB32);
  if (picture.Transparent == 1) {
    for (int y = 0; y < img.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x)
        if ((row[x] & 0xFFFFFF) == 0xFFFFFF) row[x] = 0;
    }
  }
  return QPixmap::fromImage(img);
}

namespace {
void SetFontStyle(QWidget* w, void (QFont::*style)(bool), bool on) {
  QFont f = w->font();
  (f.*style)(on);
  w->setFont(f);
}
}  // namespace

// --- Rectangle ---

Rectangle::Rectangle(QWidget* parent, const QString& name, int index) : QWidget(parent) {
  info = {name, index};
  setObjectName(name);
}

void Rectangle::SetFillColor(Color c) {
  fill_ = c;
  update();
}

void Rectangle::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(fill_));
}

void Rectangle::mousePressEvent(QMouseEvent* e) {
  if (MouseDown && MouseDown(info.index, int(e->position().x()), int(e->position().y()))) return;
  QWidget::mousePressEvent(e);
}

// --- Line ---

Line::Line(QWidget* parent, const QString& name, int x1, int y1, int x2, int y2, int width, Color color)
    : QWidget(parent), width_(width), color_(color) {
  info = {name, -1};
  setObjectName(name);
  const int left = std::min(x1, x2), top = std::min(y1, y2);
  setGeometry(left, top, std::abs(x2 - x1) + width, std::abs(y2 - y1) + width);
  a_ = QPoint(x1 - left, y1 - top);
  b_ = QPoint(x2 - left, y2 - top);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Line::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(ToQColor(color_), width_));
  p.drawLine(a_, b_);
}

// --- StaticText ---

StaticText::StaticText(QWidget* parent, const QString& name, int index) : QLabel(parent) {
  info = {name, index};
  setObjectName(name);
}

void StaticText::SetTextColor(Color c) {
  color_ = c;
  ::SetTextColor(this, c);
}

void StaticText::SetBold(bool on) { SetFontStyle(this, &QFont::setBold, on); }

void StaticText::SetUnderline(bool on) { SetFontStyle(this, &QFont::setUnderline, on); }

void StaticText::mousePressEvent(QMouseEvent* e) {
  if (MouseDown && MouseDown(info.index, int(e->position().x()), int(e->position().y()))) return;
  QLabel::mousePressEvent(e);
}

void StaticText::enterEvent(QEnterEvent* e) {
  if (MouseEnter) MouseEnter(info.index);
  QLabel::enterEvent(e);
}

void StaticText::leaveEvent(QEvent* e) {
  if (MouseExit) MouseExit(info.index);
  QLabel::leaveEvent(e);
}

// --- EditField ---

EditField::EditField(QWidget* parent, const QString& name, int index) : QLineEdit(parent) {
  info = {name, index};
  setObjectName(name);
  // The user's edits (typing, deleting, pasting, undo) come through here;
  // changes made from code go through SetText.
  connect(this, &QLineEdit::textEdited, this, [this](const QString&) { FireTextChange(); });
}

void EditField::SetText(const QString& t) {
  {
    const QSignalBlocker block(this);
    setText(t);
  }
  FireTextChange();
}

void EditField::FireTextChange() {
  if (TextChange) TextChange(info.index);
}

namespace {

// Draws a line edit's panel and frame as if the field had no focus, so the
// style's focus frame does not show; everything else is the style's own.
class NoFocusRingStyle : public QProxyStyle {
 public:
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_FrameFocusRect) return;
    if ((element == PE_PanelLineEdit || element == PE_FrameLineEdit) && (option->state & State_HasFocus)) {
      if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option)) {
        QStyleOptionFrame plain = *frame;
        plain.state &= ~State_HasFocus;
        QProxyStyle::drawPrimitive(element, &plain, painter, widget);
        return;
      }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
};

// One for all fields, living as long as the application; a widget holds its
// style through a guarded pointer and falls back to the application's.
QStyle* SharedNoFocusRingStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new NoFocusRingStyle();
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

}  // namespace

void EditField::SetUseFocusRing(bool on) { setStyle(on ? nullptr : SharedNoFocusRingStyle()); }

int EditField::SelStart() const { return Len(text().left(cursorPosition())); }

void EditField::SetSelStart(int pos) { setCursorPosition(int(Left(text(), pos).size())); }

void EditField::SetTextColor(Color c) {
  color_ = c;
  ::SetTextColor(this, c);
}

void EditField::SetBold(bool on) { SetFontStyle(this, &QFont::setBold, on); }

void EditField::keyPressEvent(QKeyEvent* e) {
  // X sends a held key as pairs of release and press at one and the same
  // time, and Qt marks them as repeats only when the pair arrives together,
  // which a busy machine does not promise. So a press also repeats when its
  // key is still down, or when it comes at the very time of its release (a
  // time of 0 is no time at all: events made by code).
  const bool repeat = e->isAutoRepeat() || e->key() == heldKey_ ||
                      (e->key() == releasedKey_ && e->timestamp() != 0 && e->timestamp() == releasedAt_);
  heldKey_ = e->key();
  if (KeyDown) {
    QString key = e->text();
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) key = QString(QChar(13));
    keyRepeating_ = repeat;
    const bool swallowed = KeyDown(info.index, key);
    keyRepeating_ = false;
    if (swallowed) return;
  }
  QLineEdit::keyPressEvent(e);
}

void EditField::keyReleaseEvent(QKeyEvent* e) {
  if (!e->isAutoRepeat()) {
    if (e->key() == heldKey_) heldKey_ = 0;
    releasedKey_ = e->key();
    releasedAt_ = e->timestamp();
  }
  QLineEdit::keyReleaseEvent(e);
}

void EditField::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  if (GotFocus) GotFocus(info.index);
}

void EditField::focusOutEvent(QFocusEvent* e) {
  // A key released elsewhere is not still held here.
  heldKey_ = 0;
  QLineEdit::focusOutEvent(e);
  if (LostFocus) LostFocus(info.index);
}

// --- TextArea ---

TextArea::TextArea(QWidget* parent, const QString& name, int index) : QTextEdit(parent) {
  info = {name, index};
  setObjectName(name);
}

void TextArea::SetText(const QString& t) {
  setPlainText(t);
  if (centered_) {
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    QTextBlockFormat fmt;
    fmt.setAlignment(Qt::AlignHCenter);
    c.mergeBlockFormat(fmt);
  }
  if (TextChange) TextChange(info.index);
}

// --- PushButton ---

PushButton::PushButton(QWidget* parent, const QString& name, const QString& caption, int index)
    : QPushButton(caption, parent) {
  info = {name, index};
  setObjectName(name);
  setAutoDefault(false);
  setDefault(false);
  connect(this, &QPushButton::clicked, this, [this] {
    if (Action) Action(info.index);
  });
}

// --- RadioButton ---

namespace {
// Set while Qt handles an arrow key on a radio button; the click it makes
// then is left out (see RadioButton::keyPressEvent).
bool g_arrowKeyMoving = false;
}  // namespace

RadioButton::RadioButton(QWidget* parent, const QString& name, const QString& caption, int index)
    : QRadioButton(caption, parent) {
  info = {name, index};
  setObjectName(name);
  connect(this, &QRadioButton::toggled, this, [this](bool on) {
    if (on) chosen_ = false;  // carried out
    if (on && Action) Action(info.index);
  });
  connect(this, &QRadioButton::clicked, this, [this] {
    if (!Click || g_arrowKeyMoving) return;
    for (RadioButton* button : Group()) button->chosen_ = button == this;
    Click(info.index);
  });
}

void RadioButton::SetValue(bool on) {
  if (on) chosen_ = false;  // carried out, also when it was selected already
  setChecked(on);
}

void RadioButton::nextCheckState() {
  if (!Click) QRadioButton::nextCheckState();
}

QList<RadioButton*> RadioButton::Group() {
  QList<RadioButton*> group;
  if (autoExclusive() && parentWidget()) {
    for (RadioButton* button : parentWidget()->findChildren<RadioButton*>(Qt::FindDirectChildrenOnly))
      if (button->autoExclusive()) group.append(button);
  } else {
    group.append(this);
  }
  return group;
}

bool RadioButton::IsUsersChoice() {
  for (RadioButton* button : Group())
    if (button->chosen_) return button == this;
  return isChecked();
}

void RadioButton::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  if (!Click || (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Left && key != Qt::Key_Right)) {
    QRadioButton::keyPressEvent(e);
    return;
  }
  // Qt moves the focus to the next button of the group and clicks that one
  // only when the focused one is selected. A choice carried out later does
  // not select its button at once, so the click is ours to make, from the
  // user's choice: Down, Down from the first button then chooses the third,
  // whether the choices are carried out at once or after a render.
  const bool fromChoice = IsUsersChoice();
  g_arrowKeyMoving = true;
  QRadioButton::keyPressEvent(e);
  g_arrowKeyMoving = false;
  auto* next = qobject_cast<RadioButton*>(QApplication::focusWidget());
  if (fromChoice && next && next != this && Group().contains(next)) next->click();
}

void RadioButton::changeEvent(QEvent* e) {
  // A button that cannot be chosen is no longer anybody's choice.
  if (e->type() == QEvent::EnabledChange && !isEnabled()) chosen_ = false;
  QRadioButton::changeEvent(e);
}

// --- BevelButton ---

BevelButton::BevelButton(QWidget* parent, const QString& name, int index) : QToolButton(parent) {
  info = {name, index};
  setObjectName(name);
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  connect(this, &QToolButton::clicked, this, [this] {
    if (Action) Action(info.index);
  });
}

void BevelButton::SetIcon(const PicturePtr& picture) {
  icon_ = picture;
  if (!picture) {
    setIcon(QIcon());
    return;
  }
  setIcon(QIcon(PixmapOf(*picture)));
  setIconSize(QSize(picture->Width(), picture->Height()));
}

void BevelButton::enterEvent(QEnterEvent* e) {
  if (MouseEnter) MouseEnter(info.index);
  QToolButton::enterEvent(e);
}

void BevelButton::leaveEvent(QEvent* e) {
  if (MouseExit) MouseExit(info.index);
  QToolButton::leaveEvent(e);
}

// --- ControlRegistry ---

void ControlRegistry::Add(QWidget* control, const QString& name, int index) {
  byName_[{name, index}] = control;
  order_.emplace_back(name, index);
}

QWidget* ControlRegistry::Find(const QString& name, int index) const {
  auto it = byName_.find({name, index});
  return it == byName_.end() ? nullptr : it->second;
}
