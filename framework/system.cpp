// The beep, the Command key of the user's event and the yield hook.
#include "framework/system.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QDesktopServices>
#include <QUrl>

#include <QCoreApplication>
#include <QInputEvent>
#include <QGuiApplication>
#include <QThread>
#include <atomic>
#include <chrono>

#include "framework/desktop_application.h"

namespace {

std::atomic<int> beeps{0};

// The modifiers of the user's event being delivered; none between events.
Qt::KeyboardModifiers eventModifiers = Qt::NoModifier;

QGuiApplication* GuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

}  // namespace

void Beep() {
  ++beeps;
  if (GuiApp() != nullptr) QApplication::beep();
}

int BeepCount() { return beeps.load(); }

DesktopApplication::DesktopApplication(int& argc, char** argv) : QApplication(argc, argv) {
  const QFont font = ProportionalInterfaceFont(QApplication::font());
  if (font != QApplication::font()) QApplication::setFont(font);
}

QFont ProportionalInterfaceFont(const QFont& systemFont) {
  if (!QFontInfo(systemFont).fixedPitch()) return systemFont;
  for (const QString& family : {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("Noto Sans"), QStringLiteral("Arial")}) {
    if (!QFontDatabase::hasFamily(family)) continue;
    QFont font = systemFont;
    font.setFamilies({family});
    if (!QFontInfo(font).fixedPitch()) return font;
  }
  return systemFont;
}

bool DesktopApplication::notify(QObject* receiver, QEvent* event) {
  // Objects of other threads get their events on those threads; the record
  // is the interface thread's alone, and only its events change it.
  if (QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
  // Every event gets the modifiers of its own: an input event those it was
  // made with, anything else (a timer, a queued call, a shortcut) none. A
  // click delivered while an earlier request runs, inside that request's
  // event, therefore still counts with its own keys.
  struct Scope {
    Qt::KeyboardModifiers saved = eventModifiers;
    ~Scope() { eventModifiers = saved; }
  } scope;
  eventModifiers = event->isInputEvent() ? static_cast<QInputEvent*>(event)->modifiers() : Qt::NoModifier;
  return QApplication::notify(receiver, event);
}

bool CommandKeyInEvent() {
  // The command key of the program is Control on this desktop.
  return (eventModifiers & Qt::ControlModifier) != 0;
}

void YieldToFramework() {
  // Long loops call this very often; handing control to the event loop at
  // every call would cost more than the loop's own work, so events are
  // processed at most every 15 ms, which still feels immediate.
  using Clock = std::chrono::steady_clock;
  constexpr auto kInterval = std::chrono::milliseconds(15);
  static Clock::time_point last{};
  static bool inside = false;

  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || inside || QThread::currentThread() != app->thread()) return;
  const Clock::time_point now = Clock::now();
  if (now - last < kInterval) return;
  inside = true;  // an event handler that loops and yields does not nest
  QCoreApplication::processEvents();
  inside = false;
  last = Clock::now();
}

void ShowURL(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }
