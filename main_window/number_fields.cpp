// The number fields: digits at the end, limits with a message in the log,
// the focus highlight, and Return for a new preview.
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

struct Limit {
  double value;
  const char* message;
  const char* text;
};

}  // namespace

void Window1::EditXY_TextChange(int k) {
  EditField* field = EditXY[k];

  // Only the end of the text is checked: non-digits there go. Taking them off
  // one per nested run would nest as deep as the pasted text is long; since a
  // run that shortens the text does nothing else before its nested run ends,
  // taking them all off at once with one nested run comes to the same.
  // The text is walked back unit by unit: a digit is one UTF-16 unit and
  // never half of a pair, so the cut falls where counting characters would
  // put it, and a long paste costs one pass instead of one per character.
  const QString t = field->Text();
  auto isDigit = [](QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; };
  qsizetype keep = t.size();
  while (keep > 0 && !isDigit(t[keep - 1])) --keep;
  if (keep < t.size()) {
    field->SetText(t.left(keep));
    field->SetSelStart(Len(field->Text()));
  }

  auto number = [field] { return Val(field->Text()); };
  auto upper = [&](const Limit& l) {
    if (number() > l.value) {
      Log(l.message);
      field->SetText(l.text);
    }
  };
  auto lower = [&](const Limit& l) {
    if (number() < l.value) {
      Log(l.message);
      field->SetText(l.text);
    }
  };
  static const Limit kMinOne{1, "Minimum allowed value is 1.", "1"};
  switch (k) {
    case 0:
    case 1:
      upper({96, "Maximum object size is 96 pixels.", "96"});
      lower(kMinOne);
      break;
    case 3:
    case 4:
      lower(kMinOne);
      break;
    case 5:
      upper({9, "Maximum border width is 9 pixels.", "9"});
      lower(kMinOne);
      break;
    case 6:
      upper({359, "Maximum allowed start angle is 359 degrees.", "359"});
      lower({0, "Minimum allowed start angle is 0 degrees.", "0"});
      break;
    case 7:
      if (movimento == 2 || movimento == 3) upper({360, "Maximum animation angle is 360 degrees.", "360"});
      lower({1, "Minimum animatrion angle is 1 degrees.", "1"});
      break;
    default:
      break;
  }

  // The text object is square: its width follows its height.
  if (k == 1 && !EditXY[0]->isEnabled()) EditXY[0]->SetText(field->Text());

  // The movie is never larger than 2048 on a side, whichever field changed.
  if (ToInteger(Val(EditXY[3]->Text())) > 2048) {
    Log("Movie maximum allowed width is 2048.");
    EditXY[3]->SetText("2048");
  }
  if (ToInteger(Val(EditXY[4]->Text())) > 2048) {
    Log("Movie maximum allowed height is 2048.");
    EditXY[4]->SetText("2048");
  }
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
