#pragma once
// The text and number functions of the framework, independent of the locale.
#include <QString>
#include <cstdint>

#include "framework/picture.h"

// The one Double-to-Integer conversion used everywhere: truncation toward
// zero, saturating at the Integer range, NaN to 0.
std::int32_t ToInteger(double value);

// Plain digits for a whole number; for a fractional value the shortest text
// that reads back to the same Double.
QString Str(double value);
QString Str(int value);
QString Str(long long value);
// The number at the start of the text (sign, digits, fraction, exponent);
// 0 when the text does not begin with one.
double Val(const QString& text);

// These count characters (code points), not UTF-16 units: "é𝐀Z" has length 3
// and Mid of it from 2 for 1 is "𝐀".
int Len(const QString& s);
// 1-based, as the callers count: Mid("abc", 2, 1) is "b"; past the end "".
QString Mid(const QString& s, int start, int length);
QString Mid(const QString& s, int start);
QString Left(const QString& s, int count);
QString Right(const QString& s, int count);
int Asc(const QString& s);  // code of the first character; 0 for ""
QString Chr(int code);

Color RGB(int r, int g, int b);
double Min(double a, double b);
double Max(double a, double b);
double Sqrt(double v);
double Pow(double base, double exponent);
double Rnd();  // uniform in [0, 1)
