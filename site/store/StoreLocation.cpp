#include "site/store/StoreLocation.h"

#include <QSqlDatabase>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// libpq reads a value in single quotes with backslash escapes; Qt turns ';' into a space
// between settings, so a value may not hold one.
QString quoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'\'', u"\\'"_s);
    return u'\'' + escaped + u'\'';
}

}  // namespace

const QString StoreLocation::EnvironmentVariable = u"QUILLMERE_DATABASE"_s;

StoreLocation StoreLocation::sqliteFile(const QString &path)
{
    StoreLocation location;
    location.m_path = path;
    return location;
}

Result<StoreLocation, StoreError> StoreLocation::parse(const QString &text)
{
    if (text.startsWith(u"sqlite:"_s)) {
        const QString path = text.sliced(7);
        if (path.isEmpty())
            return Failure(StoreError{u"sqlite: needs the path of the database file"_s});
        return sqliteFile(path);
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"postgresql"_s && url.scheme() != u"postgres"_s)) {
        return Failure(StoreError{u"not a database address (sqlite:PATH or postgresql://user@host/database): %1"_s.arg(
            url.isValid() ? url.toDisplayString(QUrl::RemovePassword) : text)});
    }
    StoreLocation location;
    location.m_kind = Kind::Postgres;
    location.m_host = url.host(QUrl::FullyDecoded);
    location.m_port = url.port(-1);
    location.m_user = url.userName(QUrl::FullyDecoded);
    location.m_password = url.password(QUrl::FullyDecoded);
    location.m_database = url.path(QUrl::FullyDecoded).sliced(std::min<qsizetype>(1, url.path().size()));
    // The settings libpq's own addresses take after '?', e.g. host=/run/postgresql or sslmode=require.
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &[name, value] : items) {
        if (value.contains(u';'))
            return Failure(StoreError{u"a database setting may not hold ';': %1"_s.arg(name)});
        if (name == u"host"_s)
            location.m_host = value;
        else if (name == u"port"_s)
            location.m_port = value.toInt();
        else if (name == u"user"_s)
            location.m_user = value;
        else if (name == u"password"_s)
            location.m_password = value;
        else if (name == u"dbname"_s)
            location.m_database = value;
        else
            location.m_options.append(name + u'=' + quoted(value));
    }
    return location;
}

Result<StoreLocation, StoreError> StoreLocation::choose(const QString &given, const QString &defaultSqliteFile)
{
    if (!given.isEmpty())
        return parse(given);
    const QString fromEnvironment = qEnvironmentVariable(EnvironmentVariable.toLatin1().constData());
    if (!fromEnvironment.isEmpty())
        return parse(fromEnvironment);
    return sqliteFile(defaultSqliteFile);
}

QString StoreLocation::driverName() const
{
    return m_kind == Kind::Sqlite ? u"QSQLITE"_s : u"QPSQL"_s;
}

void StoreLocation::configure(QSqlDatabase &db) const
{
    if (m_kind == Kind::Sqlite) {
        db.setDatabaseName(m_path);
        return;
    }
    db.setHostName(m_host);
    db.setPort(m_port);
    db.setUserName(m_user);
    db.setPassword(m_password);
    db.setDatabaseName(m_database);
    db.setConnectOptions(m_options.join(u';'));
}

QString StoreLocation::displayName() const
{
    if (m_kind == Kind::Sqlite)
        return u"sqlite:"_s + m_path;
    QUrl url;
    url.setScheme(u"postgresql"_s);
    url.setUserName(m_user);
    // A socket folder is not a host name; libpq's addresses give it as a setting instead.
    const bool socketFolder = m_host.startsWith(u'/');
    url.setPath(u'/' + m_database);
    if (socketFolder) {
        url.setHost(u""_s);  // empty, not absent, keeps the "//"
        url.setQuery(u"host="_s + m_host + (m_port >= 0 ? u"&port="_s + QString::number(m_port) : QString()));
    } else {
        url.setHost(m_host);
        url.setPort(m_port);
    }
    return url.toDisplayString(QUrl::RemovePassword);
}

}  // namespace Site
