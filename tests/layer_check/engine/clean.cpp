// Let through: Qt Gui (also by a name that Qt Widgets' folder forwards), a
// header of the project, and include-like text that is no include.
#include <QImage>
#include <qaction.h>

#include "framework/services.h"

// #include "../in/a/comment.h"
/* #include <QWidget>
#include "/in/a/block/comment.h" */
const char* kText = "/* not a comment";
const char* kRaw = R"(
#include "../inside/a/raw/string.h"
)";
const int kMillion = 1'000'000;
