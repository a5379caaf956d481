#pragma once

#include "site/forms/MessagePost.h"
#include "site/forms/UserUpload.h"
#include "site/store/SiteStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Site {

// The site's web pages, small enough to read well in the client's browser panes: 840 x 340 in
// the official window, 337 x 417 for the upload page, 465 x 489 for the message board.
// Styles are inline and there are no external assets, so a page shows the same offline.
class HtmlPages
{
public:
    // The start page: a welcome, the size of both catalogues and their newest entries.
    static QByteArray startPage(const SiteStore::Page &official, const SiteStore::Page &user, const QString &root);
    static QByteArray resourcePage(const SiteResource &resource, const QString &root);
    static QByteArray notFoundPage(const QString &root);

    // The upload form, empty or filled with what was entered before and the reason it was refused.
    static QByteArray uploadPage(const QStringList &categories, const std::optional<UserUpload::Rejection> &rejection,
                                 const QString &root);
    static QByteArray uploadDonePage(const SiteResource &resource, const QString &root);
    // Where an upload kept unpublished until a scan can pass it leads.
    static QByteArray uploadHeldPage(const QString &root);

    // One page of messages under the posting form; posted thanks for a message just stored.
    static QByteArray messageBoardPage(const SiteStore::MessagePage &messages, qint64 page,
                                       const std::optional<MessagePost::Rejection> &rejection, bool posted,
                                       const QString &root);

    // A page that only states why a request was refused.
    static QByteArray refusalPage(const QString &message, const QString &root);

    static QString errorText(UserUpload::Error error);
    static QString errorText(MessagePost::Error error);

private:
    static QByteArray document(const QString &title, const QString &root, const QString &trail, const QString &main,
                               const QString &extraStyle = QString());
};

}  // namespace Site
