// The arrow back, right -> left: with left/uses_right.cpp compiled first in
// the same build, a circle.
#include "left/left.h"
int RightUsesLeft() { return Left(); }
