#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace Quillmere {

QStringList installQtTranslations(const QString &folder)
{
    QStringList installed;
    // qtbase holds the dialogs, standard buttons and edit menus; qtwebengine the browser's own.
    for (const QString &module : {u"qtbase"_s, u"qtwebengine"_s}) {
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QLocale(), module, u"_"_s, folder) && QCoreApplication::installTranslator(translator))
            installed.append(module);
        else
            delete translator;
    }
    return installed;
}

}  // namespace Quillmere
