// Refused: an include by a climbing path.
#include "../framework/services.h"
