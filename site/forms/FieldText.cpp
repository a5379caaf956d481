#include "site/forms/FieldText.h"

#include <QStringView>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

bool isControlOrFormat(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Other_Surrogate;
}

// Default-ignorable characters that are not format characters, which Qt does not name.
bool isDrawnAsNothing(char32_t c)
{
    static constexpr std::pair<char32_t, char32_t> Ranges[] = {
        {0x034F, 0x034F}, {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F},   {0x2800, 0x2800},
        {0x3164, 0x3164}, {0xFE00, 0xFE0F}, {0xFFA0, 0xFFA0}, {0xE0100, 0xE01EF},
    };
    return std::any_of(std::begin(Ranges), std::end(Ranges),
                       [c](const auto &range) { return c >= range.first && c <= range.second; });
}

// The text without control and format characters but those kept; lone surrogates go too.
QString withoutControls(const QString &text, const QString &kept)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        if (!isControlOrFormat(c) || kept.contains(text.at(i))) {
            clean += text.at(i);
            if (pair)
                clean += text.at(i + 1);
        }
        if (pair)
            ++i;
    }
    return clean;
}

}  // namespace

QString FieldText::line(const QString &text)
{
    // Tabs and line breaks are white space to simplified(), which makes them spaces.
    return withoutControls(text, u"\t\n\r"_s).simplified();
}

QString FieldText::lines(const QString &text)
{
    QString tidy = text;
    tidy.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return withoutControls(tidy, u"\t\n"_s).trimmed();
}

bool FieldText::isBlank(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (!QChar::isSpace(c) && !isControlOrFormat(c) && !isDrawnAsNothing(c))
            return false;
    }
    return true;
}

}  // namespace Site
