#pragma once

#include <QLibraryInfo>
#include <QString>
#include <QStringList>

namespace Quillmere {

// Installs Qt's own translations for the default locale, so that its buttons, menus and dialogs
// (and the web engine's) speak the program's language. A module whose file is missing keeps
// its untranslated texts. Returns the modules that were installed.
QStringList installQtTranslations(const QString &folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

}  // namespace Quillmere
