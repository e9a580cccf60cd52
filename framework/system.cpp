// The beep, the Command-key query and the yield hook.
#include "framework/system.h"

#include <QDesktopServices>
#include <QUrl>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>
#include <atomic>
#include <chrono>

namespace {

std::atomic<int> beeps{0};

// -1: no override; 0 or 1: the value tests asked for.
std::atomic<int> commandKeyOverride{-1};

QGuiApplication* GuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

}  // namespace

void Beep() {
  ++beeps;
  if (GuiApp() != nullptr) QApplication::beep();
}

int BeepCount() { return beeps.load(); }

bool AsyncCommandKey() {
  const int forced = commandKeyOverride.load();
  if (forced >= 0) return forced == 1;
  if (GuiApp() == nullptr) return false;
  // The command key of the program is Control on this desktop.
  return (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != 0;
}

void OverrideCommandKey(std::optional<bool> held) {
  commandKeyOverride.store(held.has_value() ? (*held ? 1 : 0) : -1);
}

CommandKeyAsHeld::CommandKeyAsHeld(bool held) : previous_(commandKeyOverride.exchange(held ? 1 : 0)) {}

CommandKeyAsHeld::~CommandKeyAsHeld() { commandKeyOverride.store(previous_); }

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
