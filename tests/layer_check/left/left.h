#pragma once
inline int Left() { return 1; }
