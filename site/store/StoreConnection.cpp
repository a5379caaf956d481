#include "site/store/StoreConnection.h"

#include "site/store/SqlQuery.h"

#include <QDebug>
#include <QSqlDriver>
#include <QSqlError>

using namespace Qt::StringLiterals;

namespace Site {

StoreConnection::StoreConnection(const StoreLocation &location, QObject *parent)
    : QObject(parent)
    , m_location(location)
    , m_dialect(location.kind())
    , m_name(u"site-"_s + QString::number(quintptr(this), 16))
{
    m_heartbeat.setInterval(2000);
    m_reconnect.setSingleShot(true);
    connect(&m_heartbeat, &QTimer::timeout, this, &StoreConnection::beat);
    connect(&m_reconnect, &QTimer::timeout, this, &StoreConnection::reconnect);
}

StoreConnection::~StoreConnection()
{
    m_dataVersion.reset();
    if (QSqlDatabase::contains(m_name)) {
        database().close();
        QSqlDatabase::removeDatabase(m_name);
    }
}

QSqlDatabase StoreConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

Result<void, StoreError> StoreConnection::open()
{
    if (!QSqlDatabase::isDriverAvailable(m_location.driverName()))
        return Failure(StoreError{u"Qt's %1 driver is not installed (Debian: libqt6sql6-%2)"_s.arg(
            m_location.driverName(), m_location.kind() == StoreLocation::Kind::Sqlite ? u"sqlite"_s : u"psql"_s)});
    QSqlDatabase db = QSqlDatabase::addDatabase(m_location.driverName(), m_name);
    m_location.configure(db);
    if (!db.open())
        return Failure(StoreError{db.lastError().text()});
    return setUp();
}

Result<void, StoreError> StoreConnection::setUp()
{
    for (const QString &statement : m_dialect.setup()) {
        if (const auto done = SqlQuery::run(database(), statement); !done)
            return Failure(done.error());
    }
    return {};
}

void StoreConnection::watch()
{
    if (!m_dialect.isPostgres())
        return;
    listen();
    m_watching = true;
    m_heartbeat.start();
}

void StoreConnection::keepUp()
{
    if (m_dialect.isPostgres())
        m_heartbeat.start();
}

void StoreConnection::listen()
{
    QSqlDriver *driver = database().driver();
    disconnect(driver, &QSqlDriver::notification, this, nullptr);
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString &, QSqlDriver::NotificationSource source, const QVariant &) {
                // This connection's own changes were announced when they were committed.
                if (source == QSqlDriver::SelfSource)
                    return;
                ++m_changesSeen;
                emit othersChanged();
            });
    if (!driver->subscribeToNotification(SqlDialect::CatalogueChannel))
        qWarning("cannot listen for the other processes' changes: %s", qPrintable(driver->lastError().text()));
}

void StoreConnection::beat()
{
    // Qt closes a connection the server dropped; libpq tells why on standard error only.
    QString reason = u"the database closed the connection"_s;
    if (database().isOpen()) {
        const auto checked = check();
        if (checked)
            return;
        if (!checked.error().text.trimmed().isEmpty())
            reason = checked.error().text;
    }
    m_heartbeat.stop();
    database().close();
    ++m_changesSeen;
    qWarning().noquote() << u"lost the database %1 (%2); connecting again"_s.arg(m_location.displayName(), reason);
    emit connectionLost(reason);
    m_reconnect.setInterval(250);
    m_reconnect.start();
}

void StoreConnection::reconnect()
{
    QSqlDatabase db = database();
    if (!db.open() || !setUp()) {
        db.close();
        m_reconnect.setInterval(std::min(m_reconnect.interval() * 2, 30'000));
        m_reconnect.start();
        return;
    }
    qInfo().noquote() << u"connected to the database %1 again"_s.arg(m_location.displayName());
    if (m_watching)
        listen();
    m_heartbeat.start();
    // Whatever changed while nobody listened is unknown.
    ++m_changesSeen;
    emit othersChanged();
}

Result<void, StoreError> StoreConnection::check() const
{
    if (!database().isOpen())
        return Failure(StoreError{u"no connection to the database %1 (connecting again)"_s.arg(m_location.displayName())});
    // The catalogue's table, read through its key, on SQLite, where readers wait for nobody.
    const QString statement = m_dialect.isPostgres() ? u"SELECT 1"_s : u"SELECT COUNT(*) FROM resources WHERE id = 0"_s;
    if (const auto answered = SqlQuery::single(database(), statement); !answered)
        return Failure(answered.error());
    return {};
}

Result<qint64, StoreError> StoreConnection::revision() const
{
    if (m_dialect.isPostgres())
        return m_changesSeen;
    // Changes when another connection commits, never for this connection's own writes.
    if (!m_dataVersion) {
        auto prepared = SqlQuery::prepare(database(), u"PRAGMA data_version"_s);
        if (!prepared)
            return Failure(prepared.error());
        m_dataVersion = std::move(*prepared);
    }
    if (const auto ran = SqlQuery::runPrepared(*m_dataVersion, {}); !ran)
        return Failure(ran.error());
    if (!m_dataVersion->next())
        return Failure(StoreError{u"no answer to the data version: "_s + m_dataVersion->lastError().text()});
    const qint64 version = m_dataVersion->value(0).toLongLong();
    // Done with, the statement holds no snapshot of the file.
    m_dataVersion->finish();
    return version;
}

Result<void, StoreError> StoreConnection::notifyCatalogueChanged()
{
    const QString statement = m_dialect.notifyCatalogueChanged();
    if (statement.isEmpty())
        return {};
    if (const auto notified = SqlQuery::run(database(), statement); !notified)
        return Failure(notified.error());
    return {};
}

}  // namespace Site
