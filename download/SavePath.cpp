#include "download/SavePath.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace SavePath {

QString folderName(const QString &title)
{
    if (title == u"."_s || title == u".."_s)
        return u"_"_s;
    QString name = title;
    name.replace(u'/', u'_').replace(u'\\', u'_');
    return name;
}

bool isSafeAddress(const QString &address)
{
    static const QRegularExpression separators(u"[/\\\\]"_s);
    const QStringList segments = address.split(separators);
    return std::none_of(segments.begin(), segments.end(), [](const QString &segment) {
        return segment.isEmpty() || segment == u"."_s || segment == u".."_s;
    });
}

} // namespace SavePath
