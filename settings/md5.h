#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tavix {

// The password digest: MD5 (RFC 1321) of the text's Windows-1252 bytes, as
// 32 lower-case hexadecimal digits.
QString DigestHex(const QString& text);

// The 16 bytes of the MD5 digest of the given bytes.
QByteArray Md5Digest(QByteArrayView bytes);

// One byte per character in Windows-1252; a character the code page cannot
// hold becomes '?'.
QByteArray ToWindows1252(const QString& text);

// The characters of the text that Windows-1252 cannot hold, each once, in
// their order; empty when the whole text has its bytes.
QString NotInWindows1252(const QString& text);

}  // namespace tavix
