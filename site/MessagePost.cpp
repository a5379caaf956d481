#include "site/MessagePost.h"

#include "site/FormData.h"
#include "site/SiteStore.h"

#include <QDateTime>

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

MessagePost::Result MessagePost::receive(SiteStore &store, const std::optional<FormData> &form, const QDateTime &now,
                                         const std::function<bool()> &mayStore)
{
    Result result;
    if (!form) {
        result.error = Error::Malformed;
        return result;
    }
    result.message.name = tidyText(form->value(u"name")).simplified();
    result.message.text = tidyText(form->value(u"text"));

    if (result.message.name.isEmpty())
        result.error = Error::EmptyName;
    else if (result.message.name.size() > MaxNameLength)
        result.error = Error::NameTooLong;
    else if (result.message.text.isEmpty())
        result.error = Error::EmptyText;
    else if (result.message.text.size() > MaxTextLength)
        result.error = Error::TextTooLong;
    else if (mayStore && !mayStore())
        result.error = Error::TooFrequent;
    if (result.error != Error::None)
        return result;

    result.message.postedAt = now.toString(u"yyyy-MM-dd HH:mm"_s);
    const auto id = store.addMessage(result.message);
    if (id)
        result.message.id = *id;
    else
        result.error = Error::StoreFailed;
    return result;
}
