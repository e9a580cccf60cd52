#pragma once
// The info window: the program's name and version, and a credit line that
// opens a mail message to the maker. Modal, closed by "OK".
#include <QDialog>
#include <QPointer>

#include "framework/controls.h"

class finestrainfo : public QDialog {
  Q_OBJECT
 public:
  // The open info window, or a new one (each opening is a new window, which
  // deletes itself when it closes).
  static finestrainfo* Instance();
  // Shows the window modally; returns once it has closed.
  void ShowModal();

  // The address the credit line's mail link goes to.
  static QString ContactAddress();

  PushButton* PushButton1 = nullptr;
  StaticText* StaticText1 = nullptr;
  StaticText* StaticText2 = nullptr;

  const ControlRegistry& Controls() const { return controls_; }

  void PushButton1_Action(int index);
  void StaticText2_MouseExit(int index);
  void StaticText2_MouseEnter(int index);
  bool StaticText2_MouseDown(int index, int x, int y);

 private:
  finestrainfo();
  void Layout();
  void CreateControls();
  void _CreateControls0();
  void AddMenuHandlers() {}  // the window has no menu handlers

  // The window has no cancel button: Escape does not close it.
  void keyPressEvent(QKeyEvent* e) override;

  ControlRegistry controls_;
  static QPointer<finestrainfo> open_;
};
