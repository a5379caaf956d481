#pragma once

#include <QByteArray>
#include <QString>

namespace Site {

// The Content-Disposition that makes a browser save a file instead of showing it.
class ContentDisposition
{
public:
    // 'attachment; filename="<ASCII>"; filename*=UTF-8''<escaped>': browsers take the UTF-8
    // name, older ones the plain one, where every character outside printable ASCII, and the
    // marks a quoted name or an escape would read, is "_".
    static QByteArray attachment(const QString &fileName);
};

}  // namespace Site
