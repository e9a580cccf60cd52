#pragma once
// The program's three file types, made once at start-up before any window.
#include "framework/filetypes.h"

namespace FileTypes {
extern FileTypePtr pText;            // "text"
extern FileTypePtr pSpecialAny;      // "special/any": any file
extern FileTypePtr pVideoQuicktime;  // "video/quicktime"
void _Initialize();
}  // namespace FileTypes
