// Any response body splits into records whose fields lie inside the decoded text.
#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"

#include <cstdint>
#include <cstdlib>

using namespace Quillmere;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int fieldCount = data[0] % 9;
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(body), fieldCount);

    const QChar *begin = page.text().constData();
    const QChar *end = begin + page.text().size();
    if (page.records.size() != page.text().count(QChar(1)))
        std::abort();
    for (const ResourceRecord &record : page.records) {
        for (int k = 0; k < ResourceRecord::FieldCount; ++k) {
            const QStringView field = record.field(k);
            if (k >= fieldCount && !field.isEmpty())
                std::abort();
            if (!field.isEmpty() && (field.data() < begin || field.data() + field.size() > end))
                std::abort();
            if (field.contains(QChar(1)) || field.contains(QChar(2)))
                std::abort();
        }
    }
    if (page.pageCount < 0 || (page.resourceCount && page.resourceCount->contains(u'?')))
        std::abort();
    return 0;
}
