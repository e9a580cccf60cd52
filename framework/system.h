#pragma once
// Small services of the desktop framework: the beep, the Command key (Control
// here), and the yield hook that long loops call to keep the interface alive.
#include <QString>
#include <functional>
#include <optional>

void Beep();
int BeepCount();  // how many beeps so far, for tests

// Whether the Command key (Control on this system) is held at this moment.
bool AsyncCommandKey();
void OverrideCommandKey(std::optional<bool> held);  // for tests

// For as long as it lives, AsyncCommandKey answers as the key stood when the
// user acted: a request that had to wait for a render then behaves as if it
// had run at once.
class CommandKeyAsHeld {
 public:
  explicit CommandKeyAsHeld(bool held);
  ~CommandKeyAsHeld();
  CommandKeyAsHeld(const CommandKeyAsHeld&) = delete;
  CommandKeyAsHeld& operator=(const CommandKeyAsHeld&) = delete;

 private:
  int previous_;
};

// Lets the interface process pending events. Cheap: it actually does so at
// most every few milliseconds.
void YieldToFramework();

// Opens a link (a web page, a "mailto:" message) with the desktop's handler.
void ShowURL(const QString& url);
