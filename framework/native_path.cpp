#include "framework/native_path.h"

namespace {

constexpr char16_t kStrayByteBase = 0xDC00;  // a stray byte b is U+DC00 + b (b >= 0x80)

// The length of the valid UTF-8 sequence at `s` (at most `left` bytes), 0 for none.
int SequenceLength(const unsigned char* s, qsizetype left) {
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  int length = 0;
  char32_t min = 0, code = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80, code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800, code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000, code = c & 0x07;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (s[i] & 0x3F);
  }
  // Overlong forms, surrogates and code points past Unicode are not UTF-8.
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

QString PathFromNative(const QByteArray& bytes) {
  QString path;
  path.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData());
  for (qsizetype i = 0; i < bytes.size();) {
    const int length = SequenceLength(s + i, bytes.size() - i);
    if (length == 0) {
      path += QChar(char16_t(kStrayByteBase + s[i]));
      ++i;
    } else {
      path += QString::fromUtf8(bytes.constData() + i, length);
      i += length;
    }
  }
  return path;
}

QByteArray NativePath(const QString& path) {
  QByteArray bytes;
  bytes.reserve(path.size());
  for (qsizetype i = 0; i < path.size(); ++i) {
    const char16_t u = path[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < path.size() && QChar::isLowSurrogate(path[i + 1].unicode())) {
      bytes += QStringView(path).mid(i, 2).toUtf8();
      ++i;
    } else if (u >= kStrayByteBase + 0x80 && u <= kStrayByteBase + 0xFF) {
      bytes += char(u - kStrayByteBase);
    } else {
      bytes += QStringView(path).mid(i, 1).toUtf8();  // a lone surrogate of no byte becomes U+FFFD
    }
  }
  return bytes;
}
