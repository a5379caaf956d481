#include "platform/FontSubstitutes.h"

#include <QFont>
#include <QGuiApplication>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace Quillmere {

void installFontSubstitutes()
{
    QFont::insertSubstitutions(u"楷体"_s, QStringList{u"KaiTi"_s, u"AR PL UKai CN"_s, u"AR PL KaitiM GB"_s});
    QFont::insertSubstitutions(u"宋体"_s, QStringList{u"SimSun"_s, u"Noto Serif CJK SC"_s, u"AR PL SungtiL GB"_s});

    // Without a Chinese locale the font machinery may pick any face that has the glyphs, even
    // a Kai one, for plain interface text.
    QFont font = QGuiApplication::font();
    font.setFamilies({font.family(), u"Noto Sans CJK SC"_s, u"Microsoft YaHei"_s});
    QGuiApplication::setFont(font);
}

}  // namespace Quillmere
