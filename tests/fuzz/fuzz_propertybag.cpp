// Any text either is refused or reads back identically after being written out again.
#include "progressbar/PropertyBag.h"

#include <cstdint>
#include <cstdlib>

using namespace Quillmere;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Result<PropertyBag, PropertyBag::TextError> bag = PropertyBag::fromText(text);
    if (!bag)
        return 0;
    const Result<PropertyBag, PropertyBag::TextError> again = PropertyBag::fromText(bag->toText());
    if (!again || *again != *bag || again->toText() != bag->toText())
        std::abort();
    return 0;
}
