#include "site/routes/AnswerStatus.h"

#include <QDebug>

using namespace Qt::StringLiterals;

namespace Site {

const QByteArray AnswerStatus::HtmlType = "text/html; charset=utf-8";
const QByteArray AnswerStatus::TextType = "text/plain; charset=utf-8";

int AnswerStatus::of(UserUpload::Error error)
{
    switch (error) {
    case UserUpload::Error::FileTooLarge:
        return HttpAnswer::PayloadTooLarge;
    case UserUpload::Error::TooFrequent:
        return HttpAnswer::TooManyRequests;
    case UserUpload::Error::Blocked:
        return HttpAnswer::Forbidden;
    case UserUpload::Error::QuotaSpent:
        return HttpAnswer::TooManyRequests;
    case UserUpload::Error::NoSpace:
        return HttpAnswer::InsufficientStorage;
    case UserUpload::Error::Infected:
        return HttpAnswer::UnprocessableContent;
    case UserUpload::Error::ScanUnavailable:
        return HttpAnswer::ServiceUnavailable;
    case UserUpload::Error::StoreFailed:
        return HttpAnswer::InternalServerError;
    default:
        return HttpAnswer::BadRequest;
    }
}

int AnswerStatus::of(MessagePost::Error error)
{
    switch (error) {
    case MessagePost::Error::TooFrequent:
        return HttpAnswer::TooManyRequests;
    case MessagePost::Error::Blocked:
        return HttpAnswer::Forbidden;
    case MessagePost::Error::StoreFailed:
        return HttpAnswer::InternalServerError;
    default:
        return HttpAnswer::BadRequest;
    }
}

HttpAnswer AnswerStatus::storeFailed(const StoreError &error)
{
    qCritical().noquote() << "the store failed:" << error.text;
    return HttpAnswer::text(u"服务器内部错误"_s.toUtf8(), TextType, HttpAnswer::InternalServerError);
}

HttpAnswer AnswerStatus::redirect(const QString &target)
{
    return HttpAnswer{HttpAnswer::SeeOther, {{"Location", target.toUtf8()}}, {}, std::nullopt};
}

HttpAnswer AnswerStatus::notAllowed(const QByteArray &allowed)
{
    return HttpAnswer{HttpAnswer::MethodNotAllowed, {{"Allow", allowed}}, {}, std::nullopt};
}

HttpAnswer::Headers AnswerStatus::retryAfter(qint64 seconds)
{
    return {{"Retry-After", QByteArray::number(std::max<qint64>(seconds, 1))}};
}

}  // namespace Site
