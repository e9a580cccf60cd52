#pragma once
// Small services of the desktop framework: the beep, the Command key (Control
// here) of the user's event, and the yield hook that long loops call to keep the interface alive.
#include <QApplication>
#include <QString>

void Beep();
int BeepCount();  // how many beeps so far, for tests

// The program's QApplication. It keeps the modifier keys of the user's event
// that is being delivered (a mouse press or click, a key press), so that what
// the event asks for can carry them, however late it is carried out.
class DesktopApplication : public QApplication {
 public:
  DesktopApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Whether the Command key (Control on this system) was held in the user's
// event being delivered now. False outside of a mouse or key event, and in a
// menu shortcut, whose own modifier is not a Command-click.
bool CommandKeyInEvent();

// Lets the interface process pending events. Cheap: it actually does so at
// most every few milliseconds.
void YieldToFramework();

// Opens a link (a web page, a "mailto:" message) with the desktop's handler.
void ShowURL(const QString& url);
