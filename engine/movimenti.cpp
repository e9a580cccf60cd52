#include "engine/motion.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

void Window1::movimenti(int i, double steps, double dx, double dy) {
  MotionInput in;
  in.kind = movimento;
  in.steps = steps;
  in.dx = dx;
  in.dy = dy;
  in.rx = rx;
  in.ry = ry;
  in.alfa = alfa;
  in.beta = beta;
  if (movimento >= 2 && movimento <= 7) {
    in.w = Val(EditXY[0]->Text());
    in.W = Val(EditXY[3]->Text());
    in.h = Val(EditXY[1]->Text());
    in.H = Val(EditXY[4]->Text());
  }
  in.path = &percorso;
  MotionPosition(in, i, x1x, y1y, nullptr, [] { YieldToFramework(); });
}
