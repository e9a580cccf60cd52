#pragma once
// Small services of the desktop framework: the beep, the Command key (Control
// here) of the user's event, and the yield hook that long loops call to keep the interface alive.
#include <QString>

void Beep();
int BeepCount();  // how many beeps so far, for tests

// Whether the Command key (Control on this system) was held in the user's
// event being delivered now, as DesktopApplication (desktop_application.h)
// records it. False outside of a mouse or key event, and in a menu shortcut,
// whose own modifier is not a Command-click.
bool CommandKeyInEvent();

// Lets the interface process pending events. Cheap: it actually does so at
// most every few milliseconds.
void YieldToFramework();

// Opens a link (a web page, a "mailto:" message) with the desktop's handler.
void ShowURL(const QString& url);
