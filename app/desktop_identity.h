#pragma once
// How the desktop knows the program's windows: the desktop ID, which docks
// and task bars match against the desktop entry of that name, and the
// program's icon, the same drawing as the installed one.

// Announces the desktop ID and sets the icon of every window. Needs the
// QApplication.
void ApplyDesktopIdentity();
