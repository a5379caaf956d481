#pragma once

#include <QByteArray>
#include <QString>

namespace Quillmere {

// Decodes a response body from UTF-8. A leading byte-order mark stays as U+FEFF, zero bytes
// stay as U+0000 and every ill-formed sequence becomes U+FFFD.
QString Utf8ToUnicode(const QByteArray &body);

// Percent-encodes a search keyword as UTF-8 so that it cannot change the query around it:
// ASCII letters, digits and "-._~" pass unchanged, every other code point becomes "%XX" escapes.
QString GBtoUTF8(const QString &keyword);

}  // namespace Quillmere
