#include "site/forms/MessagePost.h"

#include "site/http/ReceivedForm.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDebug>

using namespace Qt::StringLiterals;

namespace {

// Line breaks stay (as "\n"); other control characters go.
QString tidyText(const QString &text)
{
    QString tidy = text;
    tidy.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    tidy.removeIf([](QChar c) { return c.category() == QChar::Other_Control && c != u'\n' && c != u'\t'; });
    return tidy.trimmed();
}

} // namespace

Result<SiteMessage, MessagePost::Rejection> MessagePost::receive(SiteStore &store, const ReceivedForm *form,
                                                                 const QDateTime &now, const QString &sender,
                                                                 const Gate &mayStore)
{
    SiteMessage message;
    const auto reject = [&message](Error reason) { return Failure(Rejection{reason, message}); };
    if (!form)
        return reject(Error::Malformed);
    message.name = tidyText(form->value(u"name")).simplified();
    message.text = tidyText(form->value(u"text"));

    if (message.name.isEmpty())
        return reject(Error::EmptyName);
    if (message.name.size() > MaxNameLength)
        return reject(Error::NameTooLong);
    if (message.text.isEmpty())
        return reject(Error::EmptyText);
    if (message.text.size() > MaxTextLength)
        return reject(Error::TextTooLong);
    if (const std::optional<Error> refused = mayStore ? mayStore() : std::nullopt)
        return reject(*refused);

    message.postedAt = now.toString(u"yyyy-MM-dd HH:mm"_s);
    message.address = sender;
    const auto id = store.addMessage(message);
    if (!id) {
        qCritical().noquote() << "cannot store a message:" << id.error().text;
        return reject(Error::StoreFailed);
    }
    message.id = *id;
    return message;
}
