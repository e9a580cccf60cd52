// Refused: an include computed by a macro.
#define HEADER "framework/services.h"
#include HEADER
