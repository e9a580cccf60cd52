#include "engine/render_math.h"

#include "framework/text.h"

int FrameNameDigits(double steps) { return Len(Str(steps)); }

QString FrameFileName(int i, int digits, const std::function<void()>& yield) {
  const int n = Len(Str(i));
  QString zeros;
  for (int k = 0; k <= digits - n; ++k) {
    zeros += "0";
    if (yield) yield();
  }
  return "frame" + zeros + Str(i);
}
