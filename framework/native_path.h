#pragma once
// File names as the system keeps them: bytes, as a rule UTF-8 but not
// always. A name that is not valid UTF-8 (written on another system, or in
// another locale) still names its file: each byte that is not part of a
// valid UTF-8 sequence is held in the QString as a lone surrogate
// (U+DC80 + the byte), and goes back to that very byte. Valid UTF-8 names
// are decoded and encoded as Qt does.
#include <QByteArray>
#include <QString>

QString PathFromNative(const QByteArray& bytes);
QByteArray NativePath(const QString& path);
