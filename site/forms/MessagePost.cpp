#include "site/forms/MessagePost.h"

#include "site/forms/FieldText.h"
#include "site/http/ReceivedForm.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDebug>

using namespace Qt::StringLiterals;

namespace Site {

Result<SiteMessage, MessagePost::Rejection> MessagePost::receive(SiteStore &store, const ReceivedForm *form,
                                                                 const QDateTime &now, const QString &sender,
                                                                 const Gate &mayStore)
{
    SiteMessage message;
    const auto reject = [&message](Error reason) { return Failure(Rejection{reason, message}); };
    if (!form)
        return reject(Error::Malformed);
    message.name = FieldText::line(form->value(u"name"));
    message.text = FieldText::lines(form->value(u"text"));

    if (FieldText::isBlank(message.name))
        return reject(Error::EmptyName);
    if (message.name.size() > MaxNameLength)
        return reject(Error::NameTooLong);
    if (FieldText::isBlank(message.text))
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

}  // namespace Site
