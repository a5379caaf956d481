#include "download/SavePath.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

// The longest name most file systems hold.
constexpr qsizetype MaxNameBytes = 255;

// Device names Windows keeps for itself, whatever the case and whatever extension follows.
bool isReservedOnWindows(const QString &name)
{
    static const QRegularExpression reserved(u"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"_s,
                                             QRegularExpression::CaseInsensitiveOption);
    return reserved.match(name).hasMatch();
}

// Cuts between characters, never inside a surrogate pair, so the name stays valid UTF-8.
void cutToMaxBytes(QString &name)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size();) {
        const char32_t c = name.at(i).isHighSurrogate() && i + 1 < name.size()
            ? QChar::surrogateToUcs4(name.at(i), name.at(i + 1))
            : name.at(i).unicode();
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes > MaxNameBytes) {
            name.truncate(i);
            return;
        }
        i += c > 0xFFFF ? 2 : 1;
    }
}

void chopTrailingDotsAndSpaces(QString &name)
{
    while (name.endsWith(u'.') || name.endsWith(u' '))
        name.chop(1);
}

}  // namespace

namespace SavePath {

QString folderName(const QString &title)
{
    QString name;
    name.reserve(title.size());
    for (const QChar c : title)
        name += c == u'/' || c == u'\\' || c.category() == QChar::Other_Control ? u'_' : c;
    // A leading dot hides the folder from the user.
    qsizetype dots = 0;
    while (dots < name.size() && name.at(dots) == u'.')
        ++dots;
    name.remove(0, dots);
    cutToMaxBytes(name);
    chopTrailingDotsAndSpaces(name);
    if (isReservedOnWindows(name)) {
        name.prepend(u'_');
        cutToMaxBytes(name);
        chopTrailingDotsAndSpaces(name);
    }
    return name.isEmpty() ? u"_"_s : name;
}

bool isSafeAddress(const QString &address)
{
    static const QRegularExpression separators(u"[/\\\\]"_s);
    const QStringList segments = address.split(separators);
    return std::all_of(segments.begin(), segments.end(),
                       [](const QString &segment) { return folderName(segment) == segment; });
}

}  // namespace SavePath

}  // namespace Quillmere
