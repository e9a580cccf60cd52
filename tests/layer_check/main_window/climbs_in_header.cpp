// Refused: a header of the project that it reaches includes by a climbing path.
#include "framework/climbs.h"
