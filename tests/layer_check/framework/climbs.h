#pragma once
// A header that reaches another by a climbing path.
#include "../framework/services.h"
