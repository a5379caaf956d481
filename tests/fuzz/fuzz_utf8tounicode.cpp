// Any byte sequence decodes exactly as a UTF-8 decoder that keeps every byte-order mark does,
// and never into more code units than there are bytes.
#include "catalogue/TextEncoding.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>

using namespace Quillmere;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Utf8ToUnicode(body);
    if (text.size() > body.size())
        std::abort();
    // Stateless: a sequence cut short at the end is ill-formed, not waiting for more bytes.
    QStringDecoder reference(QStringConverter::Utf8,
                             QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    if (text != reference.decode(body))
        std::abort();
    return 0;
}
