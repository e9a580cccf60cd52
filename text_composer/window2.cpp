// The text composer's behaviour: the font menu, the character grid, the text
// field with its counter, and the composed text handed back.
#include "text_composer/window2.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QSignalBlocker>

#include "framework/text.h"

namespace {
const QString kPlaceholder = "write a text here";
}

Window2* Window2::instance_ = nullptr;

Window2* Window2::Instance(QWidget* parent, const QString& text) {
  if (!instance_) {
    instance_ = new Window2(parent);
    instance_->startText_ = text;
    // The open handlers: the font menu (which labels the grid), the counter,
    // then the window itself.
    instance_->PopupMenu1_Open();
    instance_->StaticText1_Open();
    instance_->Event_Open();
  }
  return instance_;
}

Window2* Window2::InstanceIfOpen() { return instance_; }

Window2::Window2(QWidget* parent) : QDialog(parent) {
  Layout();
  CreateControls();
  AddMenuHandlers();
}

Window2::~Window2() {
  // No handler of a half-destroyed window may run while its controls go.
  EditField1->TextChange = nullptr;
  for (CheckBControl* c : CheckB) c->Action = nullptr;
  for (RadioBControl* b : RadioB) b->Click = nullptr;
  disconnect(PopupMenu1, nullptr, this, nullptr);
  if (instance_ == this) instance_ = nullptr;
}

ComposedText Window2::ShowModal() {
  EditField1->setFocus();
  EditField1->end(false);
  exec();
  const ComposedText composed = composed_;
  // Each opening is a new window: this one is gone once it has closed.
  if (instance_ == this) instance_ = nullptr;
  delete this;
  return composed;
}

// Fills the font menu with the installed fonts, preselects Arial and labels
// the character buttons. Every installed family is listed, the first one of
// the font database's list included: leaving it out would make that font
// impossible to choose.
void Window2::PopupMenu1_Open() {
  const QStringList fonts = QFontDatabase::families();
  // "Arial" may be installed under another name that the font configuration
  // maps it to (Liberation Sans); that family then stands for it.
  const QString arialFamily = QFontInfo(QFont("Arial")).family();
  int marked = -1;
  {
    const QSignalBlocker block(PopupMenu1);
    PopupMenu1->clear();
    for (const QString& name : fonts) {
      PopupMenu1->addItem(name);
      if (marked < 0 && name.compare("Arial", Qt::CaseInsensitive) == 0) marked = PopupMenu1->count() - 1;
    }
    if (marked < 0) marked = PopupMenu1->findText(arialFamily, Qt::MatchFixedString);
    if (marked < 0 && PopupMenu1->count() > 0) marked = 0;
    PopupMenu1->setCurrentIndex(marked);
  }
  // The grid and the field show the preselected font from the start.
  if (marked >= 0) PopupMenu1_Change();

  for (int i = 0; i < 128; ++i) RadioB[i]->SetCaption(Chr(i));
}

// Shows the chosen font on the grid and in the text field.
void Window2::PopupMenu1_Change() {
  const QString name = PopupMenu1->currentText();
  if (name.isEmpty()) return;
  for (RadioBControl* b : RadioB) b->SetTextFont(name);
  QFont f = EditField1->font();
  f.setFamily(name);
  EditField1->setFont(f);
}

void Window2::Event_Open() {
  RadioB[65]->SetValue(true);
  scelto = 65;
  EditField1->SetText(startText_.isEmpty() ? kPlaceholder : startText_);
}

// A character button appends its character at the end of the text, wherever
// the insertion point is.
void Window2::RadioB_Action(int index) {
  scelto = index;
  EditField1->SetText(EditField1->Text() + RadioB[index]->Caption());
  EditField1->end(false);
}

void Window2::CheckB_Action(int index) {
  const bool on = CheckB[index]->Value();
  for (RadioBControl* b : RadioB) b->SetStyle(index, on);
  QFont f = EditField1->font();
  if (index == 0) f.setBold(on);
  if (index == 1) f.setItalic(on);
  if (index == 2) f.setUnderline(on);
  EditField1->setFont(f);
}

void Window2::EditField1_TextChange(int) { StaticText1->SetText("chr : " + Str(Len(EditField1->Text()))); }

void Window2::StaticText1_Open() { EditField1_TextChange(-1); }

void Window2::WriteBack() {
  composed_.text = EditField1->Text();
  composed_.font = RadioB[scelto]->TextFont();
  composed_.bold = CheckB[0]->Value();
  composed_.italic = CheckB[1]->Value();
  composed_.underline = CheckB[2]->Value();
}

// "Back to Main Window": the only way out, and it always writes back.
void Window2::PushButton1_Action(int) {
  if (leaving_) return;
  leaving_ = true;
  WriteBack();
  done(QDialog::Accepted);
}

// Escape would cancel a dialog; this one has no cancel.
void Window2::reject() {}

// Closed some other way (the window manager's close command): leave as
// "Back to Main Window" does, so the text is never lost.
void Window2::closeEvent(QCloseEvent* e) {
  if (!leaving_) PushButton1_Action(-1);
  e->accept();
}
