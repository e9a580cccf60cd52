// Refused: an include by an absolute path.
#include "/dev/null"
