// Any download address splits into links, one for each "/**/", none holding a separator.
#include "catalogue/CatalogueProtocol.h"

#include <cstdint>
#include <cstdlib>

using namespace Quillmere;

namespace {

qsizetype separatedEntries(const QString &address)
{
    qsizetype entries = 0;
    for (qsizetype at = 0; (at = address.indexOf(QLatin1String("/**/"), at)) >= 0; at += 4)
        ++entries;
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<DownloadLink> links = ParseDownloadLinks(address);
    if (links.size() != separatedEntries(address))
        std::abort();
    for (const DownloadLink &link : links) {
        if (link.label.contains(QLatin1String("/*/")) || link.target.contains(QLatin1String("/*/"))
            || link.label.contains(QLatin1String("/**/")) || link.target.contains(QLatin1String("/**/")))
            std::abort();
    }
    return 0;
}
