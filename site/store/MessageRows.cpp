#include "site/store/MessageRows.h"

#include "site/store/NetworkAddress.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

const QString MessageColumns = u"id, name, text, posted_at, address, hidden"_s;

SiteMessage readMessage(const QSqlQuery &query)
{
    return {query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
            query.value(3).toString(),   query.value(4).toString(), query.value(5).toBool()};
}

}  // namespace

Result<qint64, StoreError> MessageRows::add(const SiteMessage &message)
{
    const auto id = SqlQuery::single(m_connection.database(),
                                     u"INSERT INTO messages (name, text, posted_at, address)"
                                     " VALUES (?, ?, ?, COALESCE(?, '')) RETURNING id"_s,
                                     {message.name, message.text, message.postedAt, message.address});
    if (!id)
        return Failure(id.error());
    return id->toLongLong();
}

Result<MessagePage, StoreError> MessageRows::find(qint64 page) const
{
    MessagePage result;
    const auto shown = SqlQuery::single(m_connection.database(),
                                        u"SELECT shown FROM shown_counts WHERE name = 'messages'"_s);
    if (!shown)
        return Failure(shown.error());
    result.total = shown->toLongLong();
    const qint64 offset = (std::max<qint64>(page, 1) - 1) * MessagePage::Size;
    if (offset >= result.total)
        return result;
    // Ids grow with every post, so they order the board more finely than the minutes of posted_at.
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT %1 FROM messages WHERE id IN (SELECT id FROM messages WHERE hidden = 0"
                               " ORDER BY id DESC LIMIT ? OFFSET ?) ORDER BY id DESC"_s.arg(MessageColumns),
                               {MessagePage::Size, offset});
    if (!query)
        return Failure(query.error());
    while (query->next())
        result.messages.append(readMessage(*query));
    return result;
}

Result<QList<SiteMessage>, StoreError> MessageRows::select(const RowSelection &selection) const
{
    QString statement = u"SELECT "_s + MessageColumns + u" FROM messages"_s;
    QVariantList values;
    if (!selection.word.isEmpty()) {
        statement += u" WHERE "_s + m_connection.dialect().matchAny({u"name"_s, u"text"_s});
        values = QVariantList(2, SqlDialect::likePattern(selection.word));
    }
    auto query = SqlQuery::run(m_connection.database(), statement + u" ORDER BY id DESC"_s, values);
    if (!query)
        return Failure(query.error());
    const auto network = QHostAddress::parseSubnet(selection.network);
    QList<SiteMessage> result;
    while (query->next() && (selection.recent <= 0 || result.size() < selection.recent)) {
        SiteMessage message = readMessage(*query);
        if (selection.network.isEmpty() || NetworkAddress::inNetwork(message.address, network))
            result.append(message);
    }
    return result;
}

Result<void, StoreError> MessageRows::setHidden(const QList<qint64> &ids, bool hidden)
{
    for (const qint64 id : ids) {
        const auto changed = SqlQuery::change(m_connection.database(), u"UPDATE messages SET hidden = ? WHERE id = ?"_s,
                                              {hidden ? 1 : 0, id});
        if (!changed)
            return Failure(changed.error());
        if (*changed != 1)
            return Failure(StoreError{u"there is no message %1"_s.arg(id)});
    }
    return {};
}

}  // namespace Site
