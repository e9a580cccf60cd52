#pragma once
// The program's QApplication, apart from the small services of system.h, so
// that what only needs those (the engine's yield, the Command key) never
// reaches Qt Widgets.
#include <QApplication>

// It keeps the modifier keys of the user's event that is being delivered (a
// mouse press or click, a key press), so that what the event asks for can
// carry them, however late it is carried out (see CommandKeyInEvent()).
class DesktopApplication : public QApplication {
 public:
  DesktopApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
