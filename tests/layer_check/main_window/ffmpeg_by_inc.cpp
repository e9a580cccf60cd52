// Refused: FFmpeg outside the movie layer, through an included .inc file.
#include "framework/codec.inc"
