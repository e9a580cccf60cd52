#include "document/number_field_rules.h"

#include "framework/text.h"

namespace {

struct Limit {
  double value;
  const char* message;
  const char* text;
};

constexpr int kMaxMovieSide = 2048;

}  // namespace

void FilterNumberField(int k, NumberFieldAccess& fields) {
  // Only the end of the text is checked: non-digits there go. Taking them off
  // one per nested run would nest as deep as the pasted text is long; since a
  // run that shortens the text does nothing else before its nested run ends,
  // taking them all off at once with one nested run comes to the same.
  // The text is walked back unit by unit: a digit is one UTF-16 unit and
  // never half of a pair, so the cut falls where counting characters would
  // put it, and a long paste costs one pass instead of one per character.
  const QString t = fields.Text(k);
  auto isDigit = [](QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; };
  qsizetype keep = t.size();
  while (keep > 0 && !isDigit(t[keep - 1])) --keep;
  if (keep < t.size()) {
    fields.SetText(k, t.left(keep));
    fields.PutInsertionPointAtEnd(k);
  }

  auto number = [&] { return Val(fields.Text(k)); };
  auto upper = [&](const Limit& l) {
    if (number() > l.value) {
      fields.Log(l.message);
      fields.SetText(k, l.text);
    }
  };
  auto lower = [&](const Limit& l) {
    if (number() < l.value) {
      fields.Log(l.message);
      fields.SetText(k, l.text);
    }
  };
  static const Limit kMinOne{1, "Minimum allowed value is 1.", "1"};
  switch (k) {
    case kObjectWidth:
    case kObjectHeight:
      upper({96, "Maximum object size is 96 pixels.", "96"});
      lower(kMinOne);
      break;
    case kMovieWidth:
    case kMovieHeight:
      lower(kMinOne);  // the upper limit is the movie-size step below
      break;
    case kBorder:
      upper({9, "Maximum border width is 9 pixels.", "9"});
      lower(kMinOne);
      break;
    case kStartAngle:
      upper({359, "Maximum allowed start angle is 359 degrees.", "359"});
      lower({0, "Minimum allowed start angle is 0 degrees.", "0"});
      break;
    case kSweepAngle:
      // Only a round motion ends where it began; a spiral may turn further.
      if (fields.Motion() == 2 || fields.Motion() == 3) upper({360, "Maximum animation angle is 360 degrees.", "360"});
      lower({1, "Minimum animatrion angle is 1 degrees.", "1"});
      break;
    default:
      break;
  }

  // The text object is square: its width follows its height.
  if (k == kObjectHeight && fields.WidthFollowsHeight()) fields.SetText(kObjectWidth, fields.Text(k));

  // The movie is never larger than 2048 on a side, whichever field changed.
  if (ToInteger(Val(fields.Text(kMovieWidth))) > kMaxMovieSide) {
    fields.Log("Movie maximum allowed width is 2048.");
    fields.SetText(kMovieWidth, "2048");
  }
  if (ToInteger(Val(fields.Text(kMovieHeight))) > kMaxMovieSide) {
    fields.Log("Movie maximum allowed height is 2048.");
    fields.SetText(kMovieHeight, "2048");
  }
}
