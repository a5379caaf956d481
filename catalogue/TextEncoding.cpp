#include "catalogue/TextEncoding.h"

namespace Quillmere {

QString Utf8ToUnicode(const QByteArray &body)
{
    // QString::fromUtf8 drops one leading byte-order mark, but every one belongs to the first
    // field. They are put back by hand because QStringDecoder, which could keep them, decodes at
    // a third of the speed.
    static constexpr QByteArrayView Bom("\xEF\xBB\xBF");
    QByteArrayView rest(body);
    qsizetype marks = 0;
    while (rest.startsWith(Bom)) {
        rest = rest.sliced(Bom.size());
        ++marks;
    }
    if (marks == 0)
        return QString::fromUtf8(body);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(rest);
}

namespace {

bool isUnreserved(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'
        || c == u'_' || c == u'~';
}

void appendEscape(QString &out, unsigned byte)
{
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    out += u'%';
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

void appendCodePoint(QString &out, char32_t cp)
{
    if (cp < 0x80) {
        appendEscape(out, cp);
    } else if (cp < 0x800) {
        appendEscape(out, 0xC0 | (cp >> 6));
        appendEscape(out, 0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        appendEscape(out, 0xE0 | (cp >> 12));
        appendEscape(out, 0x80 | ((cp >> 6) & 0x3F));
        appendEscape(out, 0x80 | (cp & 0x3F));
    } else {
        appendEscape(out, 0xF0 | (cp >> 18));
        appendEscape(out, 0x80 | ((cp >> 12) & 0x3F));
        appendEscape(out, 0x80 | ((cp >> 6) & 0x3F));
        appendEscape(out, 0x80 | (cp & 0x3F));
    }
}

}  // namespace

QString GBtoUTF8(const QString &keyword)
{
    QString out;
    out.reserve(keyword.size() * 3);
    const qsizetype n = keyword.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = keyword.at(i).unicode();
        if (isUnreserved(c)) {
            out += c;
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(keyword.at(i + 1).unicode())) {
            appendCodePoint(out, QChar::surrogateToUcs4(c, keyword.at(i + 1).unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            appendCodePoint(out, QChar::ReplacementCharacter);
        } else {
            appendCodePoint(out, c);
        }
    }
    return out;
}

}  // namespace Quillmere
