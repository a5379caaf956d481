#include "platform/Skin.h"

#include <QApplication>
#include <QFile>

namespace Quillmere {

namespace Skin {

void attach(const QString &skinFile)
{
    QFile file(skinFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString sheet = QString::fromUtf8(file.readAll());
    // Re-applying an unchanged sheet would restyle every widget for nothing.
    if (qApp->styleSheet() != sheet)
        qApp->setStyleSheet(sheet);
}

}  // namespace Skin

}  // namespace Quillmere
