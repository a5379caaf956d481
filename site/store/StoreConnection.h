#pragma once

#include "common/Result.h"
#include "site/store/SqlDialect.h"
#include "site/store/StoreError.h"
#include "site/store/StoreLocation.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTimer>

#include <optional>

namespace Site {

// One connection to the site's database, owned by the thread that opened it. The connection
// a site process listens on also learns of the other processes' changes: on a shared
// database by their notifications, which need it to stay up, so it is checked regularly and
// made again when lost.
class StoreConnection : public QObject
{
    Q_OBJECT

public:
    explicit StoreConnection(const StoreLocation &location, QObject *parent = nullptr);
    ~StoreConnection() override;

    Result<void, StoreError> open();
    // Listens for the other processes' catalogue changes and keeps the connection up; on a
    // shared database only, as an SQLite file tells of them through revision().
    void watch();
    // Keeps a connection to a shared database up, connecting again when it is lost.
    void keepUp();
    // How often a shared database is asked whether it still answers; a silent connection
    // would also miss the other processes' changes.
    void setHeartbeatInterval(int ms) { m_heartbeat.setInterval(ms); }

    QSqlDatabase database() const;
    const SqlDialect &dialect() const { return m_dialect; }
    const StoreLocation &location() const { return m_location; }
    // Of the transactions open on this connection, for Transaction to nest them.
    int &transactionDepth() { return m_transactionDepth; }

    // Fails when the store cannot be read. Waits for no lock another session holds on a
    // shared database, so that a health check answers while a table is held.
    Result<void, StoreError> check() const;
    // A number that changes when another connection changes the catalogue (on SQLite, anything
    // in the store), so a cache of pages knows when to forget them; on a shared database also
    // when the connection was lost, as changes may have gone unseen meanwhile. Asks a shared
    // database nothing: its news is counted as it comes.
    Result<qint64, StoreError> revision() const;
    // Within the transaction of a catalogue change: the other processes hear of it at commit.
    Result<void, StoreError> notifyCatalogueChanged();

signals:
    // Another process changed the catalogue, or its changes may have gone unseen.
    void othersChanged();
    // The shared database stopped answering: changes may go unseen until the connection is
    // back, which it tries by itself, waiting longer after each failure.
    void connectionLost(const QString &reason);

private:
    Result<void, StoreError> setUp();
    void listen();
    void beat();
    void reconnect();

    StoreLocation m_location;
    SqlDialect m_dialect;
    QString m_name;
    int m_transactionDepth = 0;
    qint64 m_changesSeen = 0;
    bool m_watching = false;
    // SQLite's data version, asked often enough to be prepared once.
    mutable std::optional<QSqlQuery> m_dataVersion;
    QTimer m_heartbeat;
    QTimer m_reconnect;
};

}  // namespace Site
