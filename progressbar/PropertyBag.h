#pragma once

#include "common/Result.h"

#include <QList>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace Quillmere {

// The stored instance data of a control: named values, each written with a default. A value
// equal to its default is not kept, so reading it back yields the default; names are matched
// without regard to case. Values are 32-bit integers, booleans, colours (quint32, 0x00BBGGRR),
// strings and fonts; a font is kept as face, point size, weight, italic, underline and
// strike-out, and comes back as exactly those.
//
// The text form has one value a line: name, type, value, separated by single spaces:
//     Max int 500
//     Enabled bool false
//     TextEffectColor colour 0xFFFFFF
//     Text string "ProgressBar1"
//     TextFont font "宋体" 9 400 0 0 0
// Strings are quoted with \" \\ \n \r \t and \uXXXX escapes; a font gives its face, a point
// size above 0 and at most 1000, a weight from 1 to 1000, then italic, underline and
// strike-out as 0 or 1. Empty lines are ignored.
class PropertyBag
{
public:
    // The text is not a well-formed bag: a line breaks the form above, or a name comes twice.
    enum class TextError { Malformed };

    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue);
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) const;

    // The stored names, in the order in which they were first written.
    QStringList names() const;

    QString toText() const;
    static Result<PropertyBag, TextError> fromText(QStringView text);

    friend bool operator==(const PropertyBag &, const PropertyBag &) = default;

private:
    qsizetype indexOf(QStringView name) const;

    QList<std::pair<QString, QVariant>> m_values;
};

}  // namespace Quillmere
