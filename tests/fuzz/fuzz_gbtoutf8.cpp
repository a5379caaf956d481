// Any keyword encodes to query-safe ASCII that decodes back to the keyword's UTF-8, at most
// nine characters for each code unit.
#include "catalogue/TextEncoding.h"

#include <cstdint>
#include <cstdlib>

using namespace Quillmere;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString keyword = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const QString encoded = GBtoUTF8(keyword);
    if (encoded.size() > 9 * keyword.size())
        std::abort();
    for (QChar c : encoded) {
        const char16_t u = c.unicode();
        const bool safe = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
            || u == u'.' || u == u'_' || u == u'~' || u == u'%';
        if (!safe)
            std::abort();
    }
    // Lone surrogates are sent as U+FFFD.
    QString expected = keyword;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (expected.at(i).isHighSurrogate() && i + 1 < expected.size() && expected.at(i + 1).isLowSurrogate())
            ++i;
        else if (expected.at(i).isSurrogate())
            expected[i] = QChar(QChar::ReplacementCharacter);
    }
    if (QByteArray::fromPercentEncoding(encoded.toLatin1()) != expected.toUtf8())
        std::abort();
    return 0;
}
