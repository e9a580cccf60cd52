#include "main_window/window1.h"

#include <QCloseEvent>
#include <QPointer>

#include "framework/system.h"

namespace {
QPointer<Window1> g_window;
Window1::WindowServices g_services;
}

void Window1::SetServices(WindowServices services) { g_services = std::move(services); }

const Window1::WindowServices& Window1::Services() { return g_services; }

Window1* Window1::Instance() {
  if (!g_window) {
    g_window = new Window1();
    g_window->Event_Open();
  }
  return g_window;
}

Window1* Window1::InstanceIfOpen() { return g_window; }

Window1::Window1() : QMainWindow(nullptr) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  Layout();
  CreateControls();
}

Window1::~Window1() {
  // Taking the controls down moves the focus and the pointer; no handler of
  // this half-destroyed window may run then.
  for (EditField* e : EditXY) {
    e->TextChange = nullptr;
    e->GotFocus = nullptr;
    e->LostFocus = nullptr;
    e->KeyDown = nullptr;
  }
  LogEditField->TextChange = nullptr;
  for (BevelButton* b : BevelB) b->MouseExit = nullptr;
  for (BevelButton* b : BevelAnimation) b->MouseExit = nullptr;
  tStatic2->MouseExit = nullptr;
}

void Window1::Event_Open() {
  auto_ = false;
  contatore = 0;
  immagine = NewPicture(64, 64, 32);
  movimento = 0;
  oggetto = 0;
  // One request, so that a click made during the opening's previews waits
  // for all three.
  RunUserAction([this] {
    scelta_oggetto(0);
    scelta_movimento(0);
  });
}

void Window1::Event_Close() {
  if (Services().quit) Services().quit();
}

void Window1::closeEvent(QCloseEvent* e) {
  Event_Close();
  e->accept();
}

void Window1::Log(const QString& text) { LogEditField->SetText(text); }
