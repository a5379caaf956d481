#include "site/forms/UploadName.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// The longest start of text within maxBytes of UTF-8, never splitting a character. The text
// holds no surrogates (they are not letters and were replaced), so each QChar is one character.
QString cutToBytes(const QString &text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    for (; end < text.size(); ++end) {
        const char16_t code = text[end].unicode();
        bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : 3;
        if (bytes > maxBytes)
            break;
    }
    return text.first(end);
}

}  // namespace

Result<QString, UploadError> UploadName::stored(const QString &clientName)
{
    using Error = UploadError;
    QString name = clientName.trimmed();
    if (name.isEmpty())
        return Failure(Error::NoFile);
    const bool onlyDots = std::all_of(name.begin(), name.end(), [](QChar c) { return c == u'.'; });
    const bool hasControl = std::any_of(name.begin(), name.end(),
                                        [](QChar c) { return c.category() == QChar::Other_Control; });
    if (onlyDots || hasControl || name.contains(u'/') || name.contains(u'\\'))
        return Failure(Error::UnsafeFileName);
    if (name.size() > MaxClientLength)
        return Failure(Error::FileNameTooLong);

    // Letters and digits of any script stay, with the marks a URL path takes as they are;
    // anything else (spaces, "#", "%", "?", what Windows forbids) becomes "_", so the address
    // needs no escaping and the file can be saved anywhere. A leading dot would hide it.
    for (QChar &c : name) {
        if (!c.isLetterOrNumber() && !u"-_.()+,;=!~'@&$"_s.contains(c))
            c = u'_';
    }
    if (name.startsWith(u'.'))
        name[0] = u'_';
    while (name.endsWith(u'.'))
        name.chop(1);

    if (name.toUtf8().size() > MaxBytes) {
        // The extension says what the file is, so the cut falls on the name before it; a
        // "suffix" too long to leave any of that name is no file type and is cut like the rest.
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString extension = dot > 0 ? name.sliced(dot) : QString();
        const qsizetype room = MaxBytes - extension.toUtf8().size();
        const QString base = cutToBytes(name.first(dot > 0 ? dot : name.size()), room);
        name = room > 0 && !base.isEmpty() ? base + extension : cutToBytes(name, MaxBytes);
    }
    return name;
}

}  // namespace Site
