#include "site/admin/TerminalText.h"

using namespace Qt::StringLiterals;

namespace Site {

QString TerminalText::escaped(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        char32_t code = c.unicode();
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
        const QChar::Category category = QChar::category(code);
        if (code == u'\\') {
            shown += u"\\\\"_s;
        } else if (category == QChar::Other_Control && code < 0x100) {
            shown += u"\\x%1"_s.arg(uint(code), 2, 16, QChar(u'0'));
        } else if (category == QChar::Other_Control || category == QChar::Other_Format
                   || category == QChar::Other_Surrogate) {
            shown += code > 0xFFFF ? u"\\U%1"_s.arg(uint(code), 8, 16, QChar(u'0'))
                                   : u"\\u%1"_s.arg(uint(code), 4, 16, QChar(u'0'));
        } else {
            shown += c;
            if (pair)
                shown += text.at(i + 1);
        }
        if (pair)
            ++i;
    }
    return shown;
}

}  // namespace Site
