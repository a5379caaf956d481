// Any name from a browser is refused or gives a plain name of at most 200 bytes, which the
// rule leaves as it is.
#include "site/forms/UploadName.h"

#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace Site;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString clientName = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto stored = UploadName::stored(clientName);
    if (!stored)
        return 0;
    const QString &name = *stored;
    if (name.isEmpty() || name.toUtf8().size() > UploadName::MaxBytes || name.startsWith(u'.') || name.endsWith(u'.'))
        std::abort();
    for (const QChar c : name) {
        if (!c.isLetterOrNumber() && !u"-_.()+,;=!~'@&$"_s.contains(c))
            std::abort();
    }
    const auto again = UploadName::stored(name);
    if (!again || *again != name)
        std::abort();
    return 0;
}
