// The document layer reaching Qt Widgets through a header of another layer.
#include "framework/app.h"
