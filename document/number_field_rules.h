#pragma once
// The eight number fields as texts, and the filter that keeps them to digits
// at their end and inside their limits, apart from any widget: the main
// window's fields run it on every change of their text, and a project read
// with no window runs the very same filter on plain texts.
#include <QString>
#include <array>
#include <functional>

// The number fields, by what they hold.
enum NumberField : int {
  kObjectWidth = 0,
  kObjectHeight = 1,  // also the text size
  kSteps = 2,
  kMovieWidth = 3,
  kMovieHeight = 4,
  kBorder = 5,
  kStartAngle = 6,
  kSweepAngle = 7,
};
constexpr int kNumberFields = 8;
using NumberFieldTexts = std::array<QString, kNumberFields>;

// What the fields hold when the window opens.
inline NumberFieldTexts DefaultNumberFieldTexts() { return {"18", "18", "18", "400", "200", "3", "0", "360"}; }

// The longest text a field holds (the line edit's own limit): a longer text
// set into it is cut to this many UTF-16 units.
constexpr int kNumberFieldMaxLength = 32767;

// What the filter reads and writes.
class NumberFieldAccess {
 public:
  virtual ~NumberFieldAccess() = default;
  virtual QString Text(int k) const = 0;
  // Sets field k's text, which runs the filter on field k again, nested,
  // before it returns.
  virtual void SetText(int k, const QString& text) = 0;
  virtual void PutInsertionPointAtEnd(int k) = 0;
  // Whether the object's width follows its height (the text object, whose
  // width field is off).
  virtual bool WidthFollowsHeight() const = 0;
  // The motion kind, whose round kinds limit the animation angle.
  virtual int Motion() const = 0;
  // A message for the log: a value set back to its limit.
  virtual void Log(const QString& message) = 0;
};

// Runs after every change of field k's text: non-digits at its end go, a
// value beyond its limits is set back to the limit with a message (the upper
// limit tested first), the text object's width follows its height, and the
// movie stays within 2048 on a side whichever field changed.
void FilterNumberField(int k, NumberFieldAccess& fields);

// The fields as plain texts, each change filtered as the window's fields
// filter it.
class PlainNumberFields : public NumberFieldAccess {
 public:
  NumberFieldTexts texts = DefaultNumberFieldTexts();
  bool widthFollowsHeight = false;
  int motion = 0;
  std::function<void(const QString&)> log;

  QString Text(int k) const override { return texts[k]; }
  void SetText(int k, const QString& text) override {
    texts[k] = text.left(kNumberFieldMaxLength);
    FilterNumberField(k, *this);
  }
  void PutInsertionPointAtEnd(int) override {}
  bool WidthFollowsHeight() const override { return widthFollowsHeight; }
  int Motion() const override { return motion; }
  void Log(const QString& message) override {
    if (log) log(message);
  }
};
