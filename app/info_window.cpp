#include "app/info_window.h"
#include "framework/system.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QUrl>

#include "app/application.h"

namespace {

constexpr Color kBackground = 0x91C9DF;
constexpr Color kVersionColor = 0x007F00;
constexpr Color kCreditColor = 0x00007F;

const char* const kVersionLine = "Velostrip - v1.0 (Universal Binary)";
// The author and the maker named on the credit line, and where mail goes.
const char* const kCreditLine = "Velostrip authors - Velostrip project";
const char* const kContact = "velostrip@example.org";

TextStyle ArialBold12() {
  TextStyle s;
  s.font = "arial";
  s.size = 12;
  s.bold = true;
  return s;
}

}  // namespace

QPointer<finestrainfo> finestrainfo::open_;

QString finestrainfo::ContactAddress() { return QString::fromLatin1(kContact); }

finestrainfo* finestrainfo::Instance() {
  if (!open_) open_ = new finestrainfo();
  return open_;
}

finestrainfo::finestrainfo() : QDialog(nullptr) {
  setAttribute(Qt::WA_DeleteOnClose);
  Layout();
  CreateControls();
  AddMenuHandlers();
}

void finestrainfo::Layout() {
  setWindowTitle("Velostrip info");
  // A movable modal box: a title bar, but no close, minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(260, 130);  // not resizable
  SetBackgroundColor(this, kBackground);
  // Centred on the main screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void finestrainfo::CreateControls() { _CreateControls0(); }

void finestrainfo::_CreateControls0() {
  PushButton1 = new PushButton(this, "PushButton1", "OK");
  controls_.Add(PushButton1, "PushButton1");
  PushButton1->setGeometry(80, 100, 100, 20);
  ApplyTextStyle(PushButton1, ArialBold12());
  PushButton1->setDefault(true);  // Return presses it
  PushButton1->Action = [this](int i) { PushButton1_Action(i); };

  StaticText1 = new StaticText(this, "StaticText1");
  controls_.Add(StaticText1, "StaticText1");
  StaticText1->setGeometry(0, 6, 260, 16);
  ApplyTextStyle(StaticText1, ArialBold12());
  StaticText1->SetTextColor(kVersionColor);
  StaticText1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  StaticText1->SetText(kVersionLine);

  StaticText2 = new StaticText(this, "StaticText2");
  controls_.Add(StaticText2, "StaticText2");
  StaticText2->setGeometry(10, 24, 240, 16);
  ApplyTextStyle(StaticText2, ArialBold12());
  StaticText2->SetTextColor(kCreditColor);
  StaticText2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  StaticText2->SetText(kCreditLine);
  StaticText2->SetUnderline(false);
  StaticText2->setCursor(Qt::PointingHandCursor);
  StaticText2->MouseExit = [this](int i) { StaticText2_MouseExit(i); };
  StaticText2->MouseEnter = [this](int i) { StaticText2_MouseEnter(i); };
  StaticText2->MouseDown = [this](int i, int x, int y) { return StaticText2_MouseDown(i, x, y); };
}

void finestrainfo::ShowModal() { exec(); }

void finestrainfo::keyPressEvent(QKeyEvent* e) {
  // A dialog takes Escape as its cancel button; this one only closes with
  // "OK" (or Return, which presses it).
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void finestrainfo::PushButton1_Action(int) { accept(); }

void finestrainfo::StaticText2_MouseExit(int) { StaticText2->SetUnderline(false); }

void finestrainfo::StaticText2_MouseEnter(int) { StaticText2->SetUnderline(true); }

bool finestrainfo::StaticText2_MouseDown(int, int, int) {
  ShowURL(QStringLiteral("mailto:") + ContactAddress());
  return false;
}

bool App::_FileVelostripinfo_Action() {
  finestrainfo::Instance()->ShowModal();
  return false;
}
