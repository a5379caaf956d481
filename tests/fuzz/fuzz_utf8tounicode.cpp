// Any byte sequence decodes, with a byte-order mark kept and the length bounded by the input.
#include "catalogue/TextEncoding.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Utf8ToUnicode(body);
    if (text.size() > body.size())
        std::abort();
    if (body.startsWith("\xEF\xBB\xBF") && (text.isEmpty() || text.at(0) != QChar(0xFEFF)))
        std::abort();
    return 0;
}
