#pragma once
// The text composer: a modal window in which the user builds the text that
// the text object animates, one character per frame, by typing or by
// clicking the 128 character buttons, and picks its font and styles. Leaving
// it ("Back to Main Window", the only way out) hands text, font and styles
// back to the caller.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "framework/controls.h"

// What the composer hands back.
struct ComposedText {
  QString text;
  QString font;
  bool bold = false, italic = false, underline = false;
};

class Window2 : public QDialog {
  Q_OBJECT
 public:
  // One of the 128 character buttons; it stands for the character whose code
  // is its index. Every click is an action, also on the button already on.
  class RadioBControl : public RadioButton {
   public:
    RadioBControl(QWidget* parent, int index);
    QString Caption() const { return caption_; }  // the character itself
    void SetCaption(const QString& c);             // shows a readable label for it
    // The name of the font that the button shows, as it was set.
    QString TextFont() const { return textFont_; }
    void SetTextFont(const QString& name);
    void SetStyle(int which, bool on);  // 0 bold, 1 italic, 2 underline
    std::function<void(int index)> Click;

   private:
    // Applies the font, made smaller where needed so the label fits the button.
    void ApplyFont(QFont f);
    QString caption_;
    QString textFont_ = "Arial";
  };

  // One of the three style boxes: 0 bold, 1 italic, 2 underline.
  class CheckBControl : public QCheckBox {
   public:
    CheckBControl(QWidget* parent, const QString& caption, int index);
    ControlInfo info;
    bool Value() const { return isChecked(); }
    void SetValue(bool on) { setChecked(on); }  // from code: no action
    std::function<void(int index)> Action;
  };

  // The open composer, or a new one over the given window, starting with the
  // text given (each opening builds a new window).
  static Window2* Instance(QWidget* parent = nullptr, const QString& text = QString());
  static Window2* InstanceIfOpen();
  ~Window2() override;

  // Shows the window modally; returns what was composed once it has closed
  // (and is gone).
  ComposedText ShowModal();

  // --- property ---
  int scelto = 65;  // the character button chosen last

  // --- controls ---
  QComboBox* PopupMenu1 = nullptr;
  std::array<RadioBControl*, 128> RadioB{};
  PushButton* PushButton1 = nullptr;
  std::array<CheckBControl*, 3> CheckB{};
  EditField* EditField1 = nullptr;
  StaticText* StaticText1 = nullptr;

  const ControlRegistry& Controls() const { return controls_; }

  // --- handlers ---
  void PopupMenu1_Open();
  void PopupMenu1_Change();
  void RadioB_Action(int index);
  void PushButton1_Action(int index);
  void CheckB_Action(int index);
  void EditField1_TextChange(int index);
  void StaticText1_Open();
  void Event_Open();

  // The label a character button shows for a code (control characters and
  // the space get a visible stand-in).
  static QString ButtonLabel(int code);

 protected:
  void reject() override;  // Escape: there is no cancel
  void closeEvent(QCloseEvent* e) override;

 private:
  explicit Window2(QWidget* parent);
  void Layout();
  void CreateControls();
  void _CreateControls0();
  void _CreateControls1();
  void _CreateControls2();
  void CreateCharacterButton(int i);
  void AddMenuHandlers() {}
  void WriteBack();

  ControlRegistry controls_;
  QString startText_;
  ComposedText composed_;
  bool leaving_ = false;
  static Window2* instance_;
};
