#pragma once
inline int Right() { return 2; }
