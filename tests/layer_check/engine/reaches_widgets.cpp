// Refused: the engine reaches Qt Widgets through a header of another layer.
#include "framework/app.h"
