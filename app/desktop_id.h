#pragma once
// The name under which the desktop knows the program: its desktop entry,
// icon and AppStream metadata are all called by it, and the window announces
// it so that docks and task bars group the window with its launcher.
inline constexpr char kDesktopFileId[] = "io.github.velostrip.Velostrip";
