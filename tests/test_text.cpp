// The text and number functions (Str, Val, ToInteger, the string helpers),
// and the small framework services (beep, Command key, yield hook).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <thread>

#include "framework/system.h"
#include "framework/text.h"
#include "tests/support/test_env.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---------------------------------------------------------------------------

TEST(ToInteger, TruncatesTowardZero) {
  EXPECT_EQ(ToInteger(0.0), 0);
  EXPECT_EQ(ToInteger(-0.0), 0);
  EXPECT_EQ(ToInteger(2.9), 2);
  EXPECT_EQ(ToInteger(-2.9), -2);
  EXPECT_EQ(ToInteger(0.999999), 0);
  EXPECT_EQ(ToInteger(-0.5), 0);
  EXPECT_EQ(ToInteger(123456.0), 123456);
  EXPECT_EQ(ToInteger(5e-324), 0);
}

TEST(ToInteger, SaturatesAtTheIntegerRange) {
  EXPECT_EQ(ToInteger(2147483646.9), 2147483646);
  EXPECT_EQ(ToInteger(2147483647.0), kIntMax);
  EXPECT_EQ(ToInteger(2147483647.5), kIntMax);
  EXPECT_EQ(ToInteger(2147483648.0), kIntMax);
  EXPECT_EQ(ToInteger(1e300), kIntMax);
  EXPECT_EQ(ToInteger(-2147483647.5), -2147483647);
  EXPECT_EQ(ToInteger(-2147483648.0), kIntMin);
  EXPECT_EQ(ToInteger(-2147483648.9), kIntMin);
  EXPECT_EQ(ToInteger(-1e300), kIntMin);
  EXPECT_EQ(ToInteger(std::numeric_limits<double>::max()), kIntMax);
  EXPECT_EQ(ToInteger(std::numeric_limits<double>::lowest()), kIntMin);
}

TEST(ToInteger, NonFiniteValues) {
  EXPECT_EQ(ToInteger(kNaN), 0);
  EXPECT_EQ(ToInteger(-kNaN), 0);
  EXPECT_EQ(ToInteger(kInf), kIntMax);
  EXPECT_EQ(ToInteger(-kInf), kIntMin);
  EXPECT_EQ(ToInteger(std::sqrt(-1.0)), 0);
}

// ---------------------------------------------------------------------------

TEST(Str, WholeNumbersArePlainDigits) {
  EXPECT_EQ(Str(0.0), "0");
  EXPECT_EQ(Str(-0.0), "0");
  EXPECT_EQ(Str(3.0), "3");
  EXPECT_EQ(Str(-42.0), "-42");
  EXPECT_EQ(Str(100.0), "100");
  EXPECT_EQ(Str(1e14), "100000000000000");
  EXPECT_EQ(Str(-999999999999999.0), "-999999999999999");
  EXPECT_EQ(Str(2147483648.0), "2147483648");
  EXPECT_EQ(Str(0), "0");
  EXPECT_EQ(Str(-17), "-17");
  EXPECT_EQ(Str(kIntMin), "-2147483648");
  EXPECT_EQ(Str(9007199254740993LL), "9007199254740993");
  EXPECT_EQ(Str(std::numeric_limits<long long>::min()), "-9223372036854775808");
}

TEST(Str, FractionsAreShortest) {
  EXPECT_EQ(Str(0.5), "0.5");
  EXPECT_EQ(Str(-2.25), "-2.25");
  EXPECT_EQ(Str(0.1), "0.1");
  EXPECT_EQ(Str(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(Str(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(Str(123.456), "123.456");
  const QString tiny = Str(1.5e-7);
  EXPECT_EQ(Val(tiny), 1.5e-7) << tiny.toStdString();
  EXPECT_FALSE(tiny.contains(u','));
}

TEST(Str, HugeAndNonFiniteValuesDoNotBreak) {
  EXPECT_EQ(Val(Str(1e20)), 1e20);
  EXPECT_EQ(Val(Str(1e15)), 1e15);
  EXPECT_EQ(Val(Str(-1.7976931348623157e308)), -1.7976931348623157e308);
  EXPECT_EQ(Val(Str(5e-324)), 5e-324);
  EXPECT_FALSE(Str(kNaN).isEmpty());
  EXPECT_FALSE(Str(kInf).isEmpty());
  EXPECT_NE(Str(kInf), Str(-kInf));
}

TEST(Str, RandomDoublesReadBackExactly) {
  std::mt19937_64 gen(20240601);
  std::uniform_real_distribution<double> unit(-1000.0, 1000.0);
  for (int n = 0; n < 20000; ++n) {
    double v;
    if (n % 2 == 0) {
      v = unit(gen);  // the everyday range: coordinates, speeds, angles
    } else {
      std::uint64_t bits = gen();
      std::memcpy(&v, &bits, sizeof v);  // anything the type can hold
      if (!std::isfinite(v)) continue;
    }
    const QString text = Str(v);
    const double back = Val(text);
    ASSERT_TRUE(back == v) << text.toStdString();
    if (v != 0) {
      ASSERT_TRUE(SameBits(back, v)) << text.toStdString();
    }
    ASSERT_FALSE(text.contains(u',')) << text.toStdString();
  }
}

// ---------------------------------------------------------------------------

TEST(Val, LeadingNumber) {
  EXPECT_EQ(Val("42"), 42);
  EXPECT_EQ(Val("1a8"), 1);
  EXPECT_EQ(Val("12ab"), 12);
  EXPECT_EQ(Val("  \t 7"), 7);
  EXPECT_EQ(Val("007"), 7);
  EXPECT_EQ(Val("1,5"), 1);
  EXPECT_EQ(Val("1.5.3"), 1.5);
  EXPECT_EQ(Val("3 4"), 3);
}

TEST(Val, NoNumberIsZero) {
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("&h1F"), 0);
  EXPECT_EQ(Val("."), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("+."), 0);
  EXPECT_EQ(Val("--1"), 0);
  EXPECT_EQ(Val("- 3"), 0);
  EXPECT_EQ(Val("e5"), 0);
  EXPECT_EQ(Val("0x10"), 0);
  EXPECT_EQ(Val("inf"), 0);
  EXPECT_EQ(Val("nan"), 0);
  EXPECT_EQ(Val(QString::fromUtf8("\xef\xbc\x91\xef\xbc\x92")), 0);  // full-width digits
}

TEST(Val, SignsAndFractions) {
  EXPECT_EQ(Val("-3.5"), -3.5);
  EXPECT_EQ(Val("+7"), 7);
  EXPECT_EQ(Val(".5"), 0.5);
  EXPECT_EQ(Val("-.25"), -0.25);
  EXPECT_EQ(Val("5."), 5);
  EXPECT_EQ(Val("0.1"), 0.1);
  EXPECT_TRUE(std::signbit(Val("-0")));
}

TEST(Val, Exponents) {
  EXPECT_EQ(Val("1e3"), 1000);
  EXPECT_EQ(Val("1E3"), 1000);
  EXPECT_EQ(Val("2.5e+2"), 250);
  EXPECT_EQ(Val("1e-2"), 0.01);
  EXPECT_EQ(Val(".5e1"), 5);
  // Without a digit after it, the "e" is not part of the number.
  EXPECT_EQ(Val("1e"), 1);
  EXPECT_EQ(Val("1e+"), 1);
  EXPECT_EQ(Val("1e-x"), 1);
  EXPECT_EQ(Val("4ever"), 4);
  // Beyond the range of a Double.
  EXPECT_EQ(Val("1e999"), kInf);
  EXPECT_EQ(Val("-1e999"), -kInf);
  EXPECT_EQ(Val("1e-999"), 0);
  EXPECT_EQ(Val(QString(400, u'9')), kInf);
}

// A C++ locale with a comma before the fraction, available everywhere.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

void ExpectCNumbers() {
  EXPECT_EQ(Val("1.5"), 1.5);
  EXPECT_EQ(Val("1,5"), 1);
  EXPECT_EQ(Val("-2.5e1"), -25);
  EXPECT_EQ(Val("0.1"), 0.1);
  EXPECT_EQ(Str(1.5), "1.5");
  EXPECT_EQ(Str(1234567.0), "1234567");
  EXPECT_EQ(Str(-1234567.25), "-1234567.25");
  EXPECT_EQ(Str(1234567), "1234567");
}

TEST(Locale, CppAndQtLocalesAreIgnored) {
  const std::locale old = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ExpectCNumbers();
  std::locale::global(old);
  QLocale::setDefault(QLocale::c());
}

// Switches the C library to a locale with a decimal comma: an installed one,
// or else one compiled from the system's locale sources into `dir`.
bool SetCommaCLocale(const QString& dir) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return true;
  }
  const QString command = QStringLiteral("localedef -i de_DE -f UTF-8 '%1/de_DE.UTF-8' >/dev/null 2>&1").arg(dir);
  if (std::system(command.toLocal8Bit().constData()) != 0) return false;
  setenv("LOCPATH", dir.toLocal8Bit().constData(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(Locale, CommaDecimalCLocaleIsIgnored) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  if (!SetCommaCLocale(dir.path())) GTEST_SKIP() << "no locale with a decimal comma can be set up here";
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  ExpectCNumbers();
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

// ---------------------------------------------------------------------------

TEST(Strings, LenMidLeftRight) {
  EXPECT_EQ(Len(""), 0);
  EXPECT_EQ(Len("abc"), 3);
  EXPECT_EQ(Mid("abc", 2, 1), "b");
  EXPECT_EQ(Mid("abcdef", 3, 2), "cd");
  EXPECT_EQ(Mid("abc", 1, 3), "abc");
  EXPECT_EQ(Mid("abc", 0, 2), "ab");  // start below 1 counts as 1
  EXPECT_EQ(Mid("abc", -5, 2), "ab");
  EXPECT_EQ(Mid("abc", INT32_MIN, 1), "a");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Mid("abc", 2, INT32_MAX), "bc");
  EXPECT_EQ(Mid("abc", 4, 1), "");
  EXPECT_EQ(Mid("abc", INT32_MAX, 1), "");
  EXPECT_EQ(Mid("abc", 2, 0), "");
  EXPECT_EQ(Mid("abc", 2, -1), "");
  EXPECT_EQ(Mid("abc", 2), "bc");
  EXPECT_EQ(Mid("abc", 0), "abc");
  EXPECT_EQ(Mid("abc", 4), "");
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 10), "abc");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Left("abc", -1), "");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", 10), "abc");
  EXPECT_EQ(Right("abc", -1), "");
  // Characters, not UTF-16 units: U+1D400 is one character of two units; a
  // lone surrogate counts as one.
  const QString bold = QString::fromUtf8("\xf0\x9d\x90\x80");
  const QString text = "a" + bold + "b" + bold;
  EXPECT_EQ(Len(text), 4);
  EXPECT_EQ(Mid(text, 2, 1), bold);
  EXPECT_EQ(Mid(text, 3, 2), "b" + bold);
  EXPECT_EQ(Mid(text, 4), bold);
  EXPECT_EQ(Mid(text, 5), "");
  EXPECT_EQ(Left(text, 2), "a" + bold);
  EXPECT_EQ(Right(text, 3), bold + "b" + bold);
  const QString lone = QString(QChar(0xD835)) + "x";
  EXPECT_EQ(Len(lone), 2);
  EXPECT_EQ(Mid(lone, 2, 1), "x");
}

TEST(Strings, AscAndChr) {
  EXPECT_EQ(Asc(""), 0);
  EXPECT_EQ(Asc("A"), 65);
  EXPECT_EQ(Asc("abc"), 97);
  EXPECT_EQ(Asc(QString::fromUtf8("\xc3\xa9t\xc3\xa9")), 0xE9);
  EXPECT_EQ(Chr(65), "A");
  EXPECT_EQ(Chr(13), "\r");
  EXPECT_EQ(Len(Chr(0)), 1);
  const QString emoji = Chr(0x1F600);
  EXPECT_EQ(emoji, QString::fromUtf8("\xf0\x9f\x98\x80"));
  EXPECT_EQ(Asc(emoji), 0x1F600);
  for (int code : {1, 9, 32, 126, 255, 0x20AC}) EXPECT_EQ(Asc(Chr(code)), code);
  EXPECT_EQ(Chr(-1), "");
  EXPECT_EQ(Chr(0x110000), "");
}

// ---------------------------------------------------------------------------

TEST(Arithmetic, RgbPacksAndClamps) {
  EXPECT_EQ(RGB(0, 0, 0), 0u);
  EXPECT_EQ(RGB(255, 128, 1), 0xFF8001u);
  EXPECT_EQ(RGB(300, -5, 16), 0xFF0010u);
  EXPECT_EQ(RGB(INT32_MIN, INT32_MAX, 255), 0x00FFFFu);
}

TEST(Arithmetic, MinMaxSqrtPow) {
  EXPECT_EQ(Min(3, -2), -2);
  EXPECT_EQ(Max(3, -2), 3);
  EXPECT_EQ(Min(1.5, 1.5), 1.5);
  EXPECT_EQ(Sqrt(16), 4);
  EXPECT_EQ(Pow(2, 10), 1024);
  EXPECT_EQ(Pow(9, 0.5), 3);
  EXPECT_TRUE(std::isnan(Sqrt(-1)));
  EXPECT_EQ(ToInteger(Sqrt(-1)), 0);  // the conversion absorbs it
}

TEST(Arithmetic, RndIsUniformInUnitInterval) {
  constexpr int kDraws = 100000;
  int buckets[10] = {};
  double sum = 0;
  double first = Rnd();
  bool varied = false;
  for (int n = 0; n < kDraws; ++n) {
    const double r = Rnd();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
    ++buckets[static_cast<int>(r * 10)];
    sum += r;
    varied = varied || r != first;
  }
  EXPECT_TRUE(varied);
  EXPECT_NEAR(sum / kDraws, 0.5, 0.01);
  for (int count : buckets) EXPECT_NEAR(count, kDraws / 10, kDraws / 100);
}

// ---------------------------------------------------------------------------
// Framework services

QApplication& App() { return TestApp(); }

TEST(Services, BeepCounts) {
  const int before = BeepCount();
  Beep();  // with or without an application object
  App();
  Beep();
  EXPECT_EQ(BeepCount(), before + 2);
}

TEST(Services, TheCommandKeyIsThatOfTheEventBeingDelivered) {
  App();
  // A click's handler sees its own keys, also when a plain event is
  // delivered inside a Ctrl+click (a yield during a request), and nothing
  // is left held once the events are over.
  struct Probe : QWidget {
    std::vector<bool> seen;
    void mousePressEvent(QMouseEvent* e) override {
      seen.push_back(CommandKeyInEvent());
      if (e->modifiers() & Qt::ControlModifier) {
        QTest::mouseClick(this, Qt::LeftButton);
        QTimer::singleShot(0, this, [this] { seen.push_back(CommandKeyInEvent()); });
        QCoreApplication::processEvents();
        seen.push_back(CommandKeyInEvent());
      }
    }
  } probe;
  QTest::mouseClick(&probe, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(probe.seen, (std::vector<bool>{true, false, false, true}));
  EXPECT_FALSE(CommandKeyInEvent());
}

// An input event that Qt delivers on another thread, to an object of that
// thread, is not the user's: the interface thread's record stays as it was.
TEST(Services, AnotherThreadsEventsLeaveTheCommandKeyAlone) {
  App();
  struct Receiver : QObject {
    std::function<void()> during;
    bool event(QEvent* e) override {
      if (e->type() != QEvent::User) return QObject::event(e);
      during();
      return true;
    }
  };
  std::promise<void> inside, looked;
  const QInputDevice* keyboard = QInputDevice::primaryKeyboard();  // the application's, made on its thread
  std::thread worker([&] {
    Receiver receiver;
    receiver.during = [&] {
      inside.set_value();
      looked.get_future().wait();
    };
    QInputEvent ctrl(QEvent::User, keyboard, Qt::ControlModifier);
    QCoreApplication::sendEvent(&receiver, &ctrl);
  });
  inside.get_future().wait();
  const bool seen = CommandKeyInEvent();
  looked.set_value();
  worker.join();
  EXPECT_FALSE(seen);
}

TEST(Services, YieldKeepsEventsFlowing) {
  App();
  int fired = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++fired; });
  timer.start(5);
  // A busy loop that only yields: queued timer events still get through, a
  // few times over, while most calls return at once.
  const auto start = std::chrono::steady_clock::now();
  long calls = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) {
    YieldToFramework();
    ++calls;
  }
  EXPECT_GE(fired, 3);
  EXPECT_GT(calls, 1000);
}

}  // namespace
