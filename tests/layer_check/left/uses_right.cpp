// One arrow, left -> right: no circle on its own.
#include "right/right.h"
int LeftUsesRight() { return Right(); }
