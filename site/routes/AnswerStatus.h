#pragma once

#include "site/forms/MessagePost.h"
#include "site/forms/UserUpload.h"
#include "site/http/HttpAnswer.h"
#include "site/store/StoreError.h"

#include <QByteArray>
#include <QString>

namespace Site {

// What the routes answer besides their pages: the status of each reason a post is refused,
// a store that failed, the way on after a post and the methods a path takes.
class AnswerStatus
{
public:
    static const QByteArray HtmlType;
    static const QByteArray TextType;

    static int of(UserUpload::Error error);
    static int of(MessagePost::Error error);
    // A database failure is an error, so that the client keeps what it showed instead of
    // taking an empty catalogue, or a missing page, for the truth; the operator reads why in
    // the log.
    static HttpAnswer storeFailed(const StoreError &error);
    // After a post the browser is sent on to a page it may load again without posting twice.
    static HttpAnswer redirect(const QString &target);
    static HttpAnswer notAllowed(const QByteArray &allowed);
    // At least a second.
    static HttpAnswer::Headers retryAfter(qint64 seconds);
};

}  // namespace Site
