// The number fields: digits at the end, limits with a message in the log,
// the focus highlight, and Return for a new preview.
#include "framework/system.h"
#include "framework/text.h"
#include "document/number_field_rules.h"
#include "main_window/window1.h"

namespace {

// The window's fields, as the filter sees them: setting a text runs the
// field's change handler, and with it the filter, nested.
class WindowNumberFields : public NumberFieldAccess {
 public:
  explicit WindowNumberFields(Window1* w) : w_(w) {}
  QString Text(int k) const override { return w_->EditXY[k]->Text(); }
  void SetText(int k, const QString& text) override { w_->EditXY[k]->SetText(text); }
  void PutInsertionPointAtEnd(int k) override { w_->EditXY[k]->SetSelStart(Len(w_->EditXY[k]->Text())); }
  bool WidthFollowsHeight() const override { return !w_->EditXY[kObjectWidth]->isEnabled(); }
  int Motion() const override { return w_->movimento; }
  void Log(const QString& message) override { w_->Log(message); }

 private:
  Window1* w_;
};

}  // namespace

void Window1::EditXY_TextChange(int k) {
  WindowNumberFields fields(this);
  FilterNumberField(k, fields);
}

// The field with the focus and its label turn dark red and bold.
void Window1::MarkFocus(int k, bool focused) {
  const Color color = focused ? RGB(127, 0, 0) : RGB(0, 0, 0);
  StaticT[k]->SetTextColor(color);
  StaticT[k]->SetBold(focused);
  EditXY[k]->SetTextColor(color);
  EditXY[k]->SetBold(focused);
}

void Window1::EditXY_GotFocus(int k) { MarkFocus(k, true); }

void Window1::EditXY_LostFocus(int k) { MarkFocus(k, false); }

bool Window1::EditXY_KeyDown(int, const QString& key) {
  if (Asc(key) == 13) crea_preview(0);
  return false;
}

void Window1::LogEditField_TextChange(int) { Beep(); }
