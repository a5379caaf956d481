// Any content type and body give a form or nothing; the data of a multipart field always lies
// inside the body it was read from.
#include "site/http/FormData.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first line is the content type, the rest the body.
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = input.first(lineEnd < 0 ? input.size() : lineEnd);
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.sliced(lineEnd + 1);
    const std::optional<FormData> form = FormData::parse(contentType, body);
    if (!form || !contentType.toLower().contains("multipart"))
        return 0;
    const char *begin = body.constData();
    const char *end = begin + body.size();
    for (const QString &name : {QStringLiteral("file"), QStringLiteral("title"), QString()}) {
        const FormData::Field *field = form->field(name);
        if (!field)
            continue;
        if (field->name != name || (!field->data.isEmpty()
                                    && (field->data.constData() < begin || field->data.constData() + field->data.size() > end)))
            std::abort();
        form->value(name);
    }
    return 0;
}
