#pragma once

#include "site/SiteStore.h"

#include <QByteArray>
#include <QString>

// The site's web pages, small enough to read well in the client's 840 x 340 browser pane.
// Styles are inline and there are no external assets, so a page shows the same offline.
class HtmlPages
{
public:
    // The start page: a welcome, the size of both catalogues and their newest entries.
    static QByteArray startPage(const SiteStore::Page &official, const SiteStore::Page &user, const QString &root);
    static QByteArray resourcePage(const SiteResource &resource, const QString &root);
    static QByteArray notFoundPage(const QString &root);

private:
    static QByteArray document(const QString &title, const QString &root, const QString &trail, const QString &main);
};
