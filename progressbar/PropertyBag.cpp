#include "progressbar/PropertyBag.h"

#include <QFont>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

constexpr double LargestPointSize = 1000;

QStringView typeName(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
        return u"int";
    case QMetaType::Bool:
        return u"bool";
    case QMetaType::UInt:
        return u"colour";
    case QMetaType::QString:
        return u"string";
    case QMetaType::QFont:
        return u"font";
    default:
        return {};
    }
}

bool isName(QStringView name)
{
    const auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    return !name.isEmpty() && letter(name.front())
        && std::all_of(name.begin(), name.end(), [&](QChar c) { return letter(c) || digit(c); });
}

QFont makeFont(const QString &face, double pointSize, int weight, bool italic, bool underline, bool strikeOut)
{
    QFont font;
    // QFont(face) would read a comma in the face as a list of faces.
    font.setFamilies({face});
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    return font;
}

// The part of a value that the bag keeps.
QVariant storedForm(const QVariant &value)
{
    if (value.metaType().id() != QMetaType::QFont)
        return value;
    const QFont font = value.value<QFont>();
    return makeFont(font.family(), font.pointSizeF(), font.weight(), font.italic(), font.underline(), font.strikeOut());
}

QString quoted(QStringView text)
{
    QString out = u"\""_s;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool pairedSurrogate = (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            || (c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate());
        if (c == u'"' || c == u'\\')
            out += u'\\' + c;
        else if (c == u'\n')
            out += u"\\n"_s;
        else if (c == u'\r')
            out += u"\\r"_s;
        else if (c == u'\t')
            out += u"\\t"_s;
        else if (c.unicode() < 0x20 || (c.isSurrogate() && !pairedSurrogate))
            out += u"\\u"_s + QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
        else
            out += c;
    }
    return out + u'"';
}

QString payload(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::Bool:
        return value.toBool() ? u"true"_s : u"false"_s;
    case QMetaType::UInt:
        return u"0x"_s + QString::number(value.toUInt(), 16).toUpper();
    case QMetaType::QString:
        return quoted(value.toString());
    default: {
        const QFont font = value.value<QFont>();
        // Joined, not arg()-chained: a face such as "%2" must stay as it is.
        return QStringList{quoted(font.family()),
                           QString::number(font.pointSizeF(), 'g', QLocale::FloatingPointShortest),
                           QString::number(font.weight()),
                           QString::number(int(font.italic())),
                           QString::number(int(font.underline())),
                           QString::number(int(font.strikeOut()))}
            .join(u' ');
    }
    }
}

// Reads one line of the text form, token by token.
class LineReader
{
public:
    explicit LineReader(QStringView line)
        : m_rest(line)
    {
    }

    bool atEnd() const { return m_rest.isEmpty(); }

    std::optional<QStringView> word()
    {
        const qsizetype space = m_rest.indexOf(u' ');
        const QStringView token = space < 0 ? m_rest : m_rest.first(space);
        if (token.isEmpty() || token.startsWith(u'"'))
            return std::nullopt;
        m_rest = space < 0 ? QStringView() : m_rest.sliced(space + 1);
        return token;
    }

    std::optional<QString> string()
    {
        if (!m_rest.startsWith(u'"'))
            return std::nullopt;
        QString text;
        for (qsizetype i = 1; i < m_rest.size(); ++i) {
            const QChar c = m_rest[i];
            if (c == u'"')
                return endToken(i + 1) ? std::optional(text) : std::nullopt;
            if (c != u'\\') {
                text += c;
                continue;
            }
            if (++i >= m_rest.size())
                return std::nullopt;
            switch (m_rest[i].unicode()) {
            case u'"':
                text += u'"';
                break;
            case u'\\':
                text += u'\\';
                break;
            case u'n':
                text += u'\n';
                break;
            case u'r':
                text += u'\r';
                break;
            case u't':
                text += u'\t';
                break;
            case u'u': {
                const QStringView digits = m_rest.sliced(i + 1).first(qMin<qsizetype>(4, m_rest.size() - i - 1));
                if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), isHexDigit))
                    return std::nullopt;
                text += QChar(digits.toUShort(nullptr, 16));
                i += 4;
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

private:
    static bool isHexDigit(QChar c)
    {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    }

    // A token ends the line or is followed by one space and another token.
    bool endToken(qsizetype end)
    {
        if (end == m_rest.size()) {
            m_rest = {};
            return true;
        }
        if (m_rest[end] != u' ' || end + 1 == m_rest.size())
            return false;
        m_rest = m_rest.sliced(end + 1);
        return true;
    }

    QStringView m_rest;
};

std::optional<qint64> integer(std::optional<QStringView> word, qint64 lowest, qint64 highest, int base = 10)
{
    if (!word)
        return std::nullopt;
    bool ok = false;
    const qint64 value = word->toLongLong(&ok, base);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

std::optional<bool> flag(std::optional<QStringView> word)
{
    const std::optional<qint64> value = integer(word, 0, 1);
    return value ? std::optional(*value == 1) : std::nullopt;
}

std::optional<QVariant> readFont(LineReader &reader)
{
    const std::optional<QString> face = reader.string();
    const std::optional<QStringView> sizeWord = reader.word();
    bool sizeOk = false;
    const double size = sizeWord ? sizeWord->toDouble(&sizeOk) : 0;
    const std::optional<qint64> weight = integer(reader.word(), 1, 1000);
    const std::optional<bool> italic = flag(reader.word());
    const std::optional<bool> underline = flag(reader.word());
    const std::optional<bool> strikeOut = flag(reader.word());
    if (!face || !sizeOk || !std::isfinite(size) || size <= 0 || size > LargestPointSize || !weight || !italic
        || !underline || !strikeOut)
        return std::nullopt;
    return QVariant::fromValue(makeFont(*face, size, int(*weight), *italic, *underline, *strikeOut));
}

std::optional<QVariant> readValue(QStringView type, LineReader &reader)
{
    if (type == u"int") {
        const std::optional<qint64> value = integer(reader.word(), INT32_MIN, INT32_MAX);
        return value ? std::optional(QVariant(qint32(*value))) : std::nullopt;
    }
    if (type == u"bool") {
        const std::optional<QStringView> word = reader.word();
        if (word == u"true" || word == u"false")
            return QVariant(*word == u"true");
        return std::nullopt;
    }
    if (type == u"colour") {
        const std::optional<QStringView> word = reader.word();
        if (!word || !word->startsWith(u"0x") || word->size() < 3 || word->size() > 10)
            return std::nullopt;
        const std::optional<qint64> value = integer(word->sliced(2), 0, UINT32_MAX, 16);
        return value ? std::optional(QVariant(quint32(*value))) : std::nullopt;
    }
    if (type == u"string") {
        const std::optional<QString> value = reader.string();
        return value ? std::optional(QVariant(*value)) : std::nullopt;
    }
    if (type == u"font")
        return readFont(reader);
    return std::nullopt;
}

}  // namespace

void PropertyBag::WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue)
{
    Q_ASSERT_X(isName(name) && !typeName(value).isEmpty(), "PropertyBag", "a name and value the text form can hold");
    const QVariant stored = storedForm(value);
    const qsizetype index = indexOf(name);
    if (stored == storedForm(defaultValue)) {
        if (index >= 0)
            m_values.removeAt(index);
    } else if (index >= 0) {
        m_values[index].second = stored;
    } else {
        m_values.append({name, stored});
    }
}

QVariant PropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    const qsizetype index = indexOf(name);
    return index < 0 ? defaultValue : m_values.at(index).second;
}

QStringList PropertyBag::names() const
{
    QStringList names;
    for (const auto &[name, value] : m_values)
        names.append(name);
    return names;
}

QString PropertyBag::toText() const
{
    QString text;
    for (const auto &[name, value] : m_values)
        text += name + u' ' + typeName(value).toString() + u' ' + payload(value) + u'\n';
    return text;
}

Result<PropertyBag, PropertyBag::TextError> PropertyBag::fromText(QStringView text)
{
    PropertyBag bag;
    for (const QStringView line : text.split(u'\n')) {
        if (line.isEmpty())
            continue;
        LineReader reader(line);
        const std::optional<QStringView> name = reader.word();
        const std::optional<QStringView> type = reader.word();
        if (!name || !type || !isName(*name) || bag.indexOf(*name) >= 0)
            return Failure(TextError::Malformed);
        const std::optional<QVariant> value = readValue(*type, reader);
        if (!value || !reader.atEnd())
            return Failure(TextError::Malformed);
        bag.m_values.append({name->toString(), *value});
    }
    return bag;
}

qsizetype PropertyBag::indexOf(QStringView name) const
{
    for (qsizetype i = 0; i < m_values.size(); ++i) {
        if (m_values.at(i).first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

}  // namespace Quillmere
