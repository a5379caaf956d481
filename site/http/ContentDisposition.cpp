#include "site/http/ContentDisposition.h"

#include <QList>

namespace Site {

QByteArray ContentDisposition::attachment(const QString &fileName)
{
    QByteArray plain;
    for (const uint c : fileName.toUcs4())
        plain += c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '%' ? char(c) : '_';
    // What may stand unescaped in an extended value besides letters, digits and "-._~".
    const QByteArray escaped = fileName.toUtf8().toPercentEncoding("!#$&+^`|");
    return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + escaped;
}

}  // namespace Site
