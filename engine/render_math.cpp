#include "engine/render_math.h"

#include "framework/text.h"

QString FrameFileName(int i, int digits, const std::function<void()>& yield) {
  const int n = Len(Str(i));
  QString zeros;
  for (int k = 0; k <= digits - n; ++k) {
    zeros += "0";
    if (yield) yield();
  }
  return "frame" + zeros + Str(i);
}

QRect PlayerPlacement(int movieWidth, int movieHeight) {
  const double w = movieWidth, h = movieHeight;
  double s = Min(kPreviewSize / w, kPreviewSize / h);
  s = Min(s, 1.0);
  const int pw = ToInteger(w * s);
  const int ph = ToInteger(h * s);
  const int left = ToInteger(static_cast<double>(kPreviewSize - pw) / 2 + kPreviewLeft);
  const int top = ToInteger(static_cast<double>(kPreviewSize - ph) / 2 + kPreviewTop);
  return QRect(left, top, pw, ph);
}
