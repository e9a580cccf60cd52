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

// Lets the interface process pending events. Cheap: it actually does so at
// most every few milliseconds.
void YieldToFramework();

// Opens a link (a web page, a "mailto:" message) with the desktop's handler.
void ShowURL(const QString& url);
