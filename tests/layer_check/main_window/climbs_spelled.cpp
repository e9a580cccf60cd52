// Refused: an include by a climbing path, spelled with comments, the "%:"
// digraph and a line splice.
/* before */ %: /* within */ inc\
lude "../framework/services.h"
