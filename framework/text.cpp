// Text and number functions. Numbers are written and read with the C
// conventions (a dot before the fraction) whatever the user's locale.
#include "framework/text.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <random>
#include <string>
#include <system_error>

std::int32_t ToInteger(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  constexpr double kMin = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (value <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);  // truncates toward zero
}

// ---------------------------------------------------------------------------
// Numbers to text

QString Str(int value) { return QString::number(value); }

QString Str(long long value) { return QString::number(value); }

QString Str(double value) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  if (std::fabs(value) < 1e15 && std::trunc(value) == value) {
    // Whole numbers as plain digits; -0 prints as 0.
    return QString::number(static_cast<long long>(value));
  }
  // The shortest form that reads back as the same Double ("0.1", "1e+20",
  // "1.5e-07"); every form to_chars chooses is one Val reads.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (result.ec != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

// ---------------------------------------------------------------------------
// Text to numbers

namespace {

// strtod under the "C" locale, whatever setlocale says for the process.
double ParseCLocale(const std::string& number) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (cLocale != static_cast<locale_t>(nullptr)) return strtod_l(number.c_str(), nullptr, cLocale);
  // Without a locale object, from_chars (always the C conventions) gives the
  // value; only its out-of-range results need help.
  double value = 0;
  const char* first = number.data();
  const auto result = std::from_chars(first, first + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    const bool negativeExponent = number.find("e-") != std::string::npos ||
                                  number.find("E-") != std::string::npos;
    const bool negative = !number.empty() && number[0] == '-';
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    if (negative) value = -value;
  }
  return value;
}

bool IsDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

}  // namespace

double Val(const QString& text) {
  // Picks out the leading number (sign, digits, fraction, exponent) as ASCII
  // text, then lets the C library convert exactly that.
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
  std::string number;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') number += '-';
    ++i;
  }
  bool anyDigit = false;
  while (i < n && IsDigit(text[i])) {
    number += static_cast<char>(text[i].unicode());
    anyDigit = true;
    ++i;
  }
  if (i < n && text[i] == u'.') {
    number += '.';
    ++i;
    while (i < n && IsDigit(text[i])) {
      number += static_cast<char>(text[i].unicode());
      anyDigit = true;
      ++i;
    }
  }
  if (!anyDigit) return 0.0;
  // An exponent counts only when at least one digit follows the "e".
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    qsizetype j = i + 1;
    std::string exponent = "e";
    if (j < n && (text[j] == u'+' || text[j] == u'-')) {
      exponent += static_cast<char>(text[j].unicode());
      ++j;
    }
    if (j < n && IsDigit(text[j])) {
      while (j < n && IsDigit(text[j])) {
        exponent += static_cast<char>(text[j].unicode());
        ++j;
      }
      number += exponent;
    }
  }
  return ParseCLocale(number);
}

// ---------------------------------------------------------------------------
// Strings

// The string functions count characters (code points): a character outside
// the Basic Multilingual Plane, two UTF-16 units in a QString, counts as one.
// A lone surrogate counts as one character too.

namespace {

bool PairAt(const QString& s, qsizetype i) {
  return s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate();
}

// The UTF-16 index where the text, counted in characters from the unit
// `from`, has passed `chars` characters; s.size() when it ends before that.
qsizetype UnitIndex(const QString& s, qsizetype chars, qsizetype from = 0) {
  qsizetype i = from;
  for (; i < s.size() && chars > 0; --chars) i += PairAt(s, i) ? 2 : 1;
  return std::min(i, s.size());
}

}  // namespace

int Len(const QString& s) {
  qsizetype count = 0;
  for (qsizetype i = 0; i < s.size(); ++count) i += PairAt(s, i) ? 2 : 1;
  return static_cast<int>(std::min<qsizetype>(count, INT32_MAX));
}

QString Mid(const QString& s, int start, int length) {
  if (length <= 0) return QString();
  const qsizetype from = UnitIndex(s, std::max(start, 1) - qsizetype{1});
  if (from >= s.size()) return QString();
  return s.mid(from, UnitIndex(s, length, from) - from);
}

QString Mid(const QString& s, int start) {
  const qsizetype from = UnitIndex(s, std::max(start, 1) - qsizetype{1});
  if (from >= s.size()) return QString();
  return s.mid(from);
}

QString Left(const QString& s, int count) {
  if (count <= 0) return QString();
  return s.left(UnitIndex(s, count));
}

QString Right(const QString& s, int count) {
  if (count <= 0) return QString();
  const int length = Len(s);
  return count >= length ? s : Mid(s, length - count + 1);
}

int Asc(const QString& s) {
  if (s.isEmpty()) return 0;
  const QChar first = s[0];
  if (first.isHighSurrogate() && s.size() > 1 && s[1].isLowSurrogate())
    return static_cast<int>(QChar::surrogateToUcs4(first, s[1]));
  return first.unicode();
}

QString Chr(int code) {
  if (code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return QString();
  const char32_t c = static_cast<char32_t>(code);
  return QString::fromUcs4(&c, 1);
}

// ---------------------------------------------------------------------------
// Arithmetic

Color RGB(int r, int g, int b) {
  auto channel = [](int v) { return static_cast<Color>(std::clamp(v, 0, 255)); };
  return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

double Min(double a, double b) { return b < a ? b : a; }

double Max(double a, double b) { return a < b ? b : a; }

double Sqrt(double v) { return std::sqrt(v); }

double Pow(double base, double exponent) { return std::pow(base, exponent); }

double Rnd() {
  // Seeded once per thread from the system's entropy; the program never
  // chooses the seed.
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  // The top 53 bits as a fraction: exactly uniform over [0, 1), never 1.
  return static_cast<double>(generator() >> 11) * 0x1.0p-53;
}
