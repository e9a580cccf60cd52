#pragma once
// The program's QApplication, apart from the small services of system.h, so
// that what only needs those (the engine's yield, the Command key) never
// reaches Qt Widgets.
#include <QApplication>
#include <QFont>

// It keeps the modifier keys of the user's event that is being delivered (a
// mouse press or click, a key press), so that what the event asks for can
// carry them, however late it is carried out (see CommandKeyInEvent()).
class DesktopApplication : public QApplication {
 public:
  DesktopApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The interface's font: the system's own, unless that is a fixed-pitch face
// (on a system with no more fonts than the program needs, fontconfig's only
// match for "sans-serif" is Liberation Mono); then the same size in a
// proportional sans-serif face, Liberation Sans (the package depends on it)
// or another the system has.
QFont ProportionalInterfaceFont(const QFont& systemFont);
