#pragma once
// The controls the program's windows are made of, on Qt widgets.
//
// Every control has a Name and, when it belongs to a control array, an Index
// (-1 otherwise). Events are plain callbacks that the window binds to its
// handlers; a control array binds one handler for all its members and tells
// them apart by the index passed in. Setting a value from code raises the
// same event as the user's change (Text of an edit field, Value of a radio
// button), synchronously, before the setter returns.
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <map>
#include <utility>

#include "framework/picture.h"

// What every control knows about itself.
struct ControlInfo {
  QString name;
  int index = -1;
};

// Font settings shared by the text-bearing controls.
struct TextStyle {
  QString font = "Arial";
  int size = 12;  // points as the layout gives them; shown as pixels
  bool bold = false;
  bool italic = false;
  bool underline = false;
};
void ApplyTextStyle(QWidget* w, const TextStyle& style);
void SetTextColor(QWidget* w, Color c);
void SetBackgroundColor(QWidget* w, Color c);
QColor ToQColor(Color c);
Color FromQColor(const QColor& c);

// A filled rectangle with no border.
class Rectangle : public QWidget {
  Q_OBJECT
 public:
  Rectangle(QWidget* parent, const QString& name, int index = -1);
  ControlInfo info;
  Color FillColor() const { return fill_; }
  void SetFillColor(Color c);
  std::function<bool(int index, int x, int y)> MouseDown;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  Color fill_ = 0xFFFFFF;
};

// A one-pixel (or wider) line between two points of its parent.
class Line : public QWidget {
  Q_OBJECT
 public:
  Line(QWidget* parent, const QString& name, int x1, int y1, int x2, int y2, int width, Color color);
  ControlInfo info;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QPoint a_, b_;
  int width_;
  Color color_;
};

class StaticText : public QLabel {
  Q_OBJECT
 public:
  StaticText(QWidget* parent, const QString& name, int index = -1);
  ControlInfo info;
  QString Text() const { return text(); }
  void SetText(const QString& t) { setText(t); }
  void SetTextColor(Color c);
  Color TextColor() const { return color_; }
  void SetBold(bool on);
  bool Bold() const { return font().bold(); }
  void SetUnderline(bool on);
  bool Underline() const { return font().underline(); }
  std::function<bool(int index, int x, int y)> MouseDown;
  std::function<void(int index)> MouseEnter;
  std::function<void(int index)> MouseExit;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  Color color_ = 0x000000;
};

// A single-line edit field.
class EditField : public QLineEdit {
  Q_OBJECT
 public:
  EditField(QWidget* parent, const QString& name, int index = -1);
  ControlInfo info;
  QString Text() const { return text(); }
  // Sets the text and runs TextChange, also when the text is the same.
  void SetText(const QString& t);
  // The insertion point in characters, as Len and Mid count them.
  int SelStart() const;
  void SetSelStart(int pos);
  // Whether the style marks the focused field with its focus frame (the
  // default). Off, the field looks the same with and without the focus, and
  // the window marks the focus in its own way.
  void SetUseFocusRing(bool on);
  void SetTextColor(Color c);
  Color TextColor() const { return color_; }
  void SetBold(bool on);
  bool Bold() const { return font().bold(); }

  std::function<void(int index)> TextChange;
  std::function<void(int index)> GotFocus;
  std::function<void(int index)> LostFocus;
  // Runs before the key reaches the field; true swallows the key.
  std::function<bool(int index, const QString& key)> KeyDown;
  // Whether the key that KeyDown is handling repeats because it is held down.
  bool KeyRepeating() const { return keyRepeating_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void FireTextChange();
  Color color_ = 0x000000;
  bool keyRepeating_ = false;
  int heldKey_ = 0;  // pressed and not yet released
  int releasedKey_ = 0;
  quint64 releasedAt_ = 0;  // the window system's time of that release
};

// A multi-line, read-only text field (the log).
class TextArea : public QTextEdit {
  Q_OBJECT
 public:
  TextArea(QWidget* parent, const QString& name, int index = -1);
  ControlInfo info;
  QString Text() const { return toPlainText(); }
  // Replaces the whole text and runs TextChange.
  void SetText(const QString& t);
  std::function<void(int index)> TextChange;
  void SetAlignmentCentered(bool on) { centered_ = on; }

 private:
  bool centered_ = false;
};

class PushButton : public QPushButton {
  Q_OBJECT
 public:
  PushButton(QWidget* parent, const QString& name, const QString& caption, int index = -1);
  ControlInfo info;
  std::function<void(int index)> Action;
};

class RadioButton : public QRadioButton {
  Q_OBJECT
 public:
  RadioButton(QWidget* parent, const QString& name, const QString& caption, int index = -1);
  ControlInfo info;
  bool Value() const { return isChecked(); }
  // Selecting from code runs Action.
  void SetValue(bool on);
  // Runs when this button becomes the selected one.
  std::function<void(int index)> Action;
  // The user's click (or arrow key) on the button. It does not select the
  // button itself: that is left to the handler, which may carry out the
  // choice later; without a handler the click selects as usual. Until the
  // button is selected (or disabled), it is the user's choice in its group,
  // and the arrow keys go on from it as they go on from a selected button:
  // each arrow key clicks the button it moves to, as the user sees it.
  std::function<void(int index)> Click;

 protected:
  void nextCheckState() override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  // The buttons of its exclusive group, itself included.
  QList<RadioButton*> Group();
  // The user's latest choice not yet carried out, or else the selected button.
  bool IsUsersChoice();
  bool chosen_ = false;  // clicked, and not yet selected
};

// A square button with an icon or a caption that takes no keyboard focus.
class BevelButton : public QToolButton {
  Q_OBJECT
 public:
  BevelButton(QWidget* parent, const QString& name, int index = -1);
  ControlInfo info;
  void SetIcon(const PicturePtr& picture);  // white transparent when picture->Transparent is 1
  PicturePtr Icon() const { return icon_; }
  QString Caption() const { return text(); }
  void SetCaption(const QString& c) { setText(c); }
  std::function<void(int index)> Action;
  std::function<void(int index)> MouseEnter;
  std::function<void(int index)> MouseExit;

 protected:
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  PicturePtr icon_;
};

// Controls by name and index, kept in creation order.
class ControlRegistry {
 public:
  void Add(QWidget* control, const QString& name, int index = -1);
  QWidget* Find(const QString& name, int index = -1) const;
  const std::vector<std::pair<QString, int>>& CreationOrder() const { return order_; }

 private:
  std::map<std::pair<QString, int>, QWidget*> byName_;
  std::vector<std::pair<QString, int>> order_;
};

// A picture as a QPixmap, white made transparent when the picture says so.
QPixmap PixmapOf(const Picture& picture);
