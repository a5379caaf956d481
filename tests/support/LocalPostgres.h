#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A PostgreSQL server of a test's own: a new cluster in a temporary folder, listening on a free
// loopback port and on a socket in that folder, stopped and removed with this object.
// PostgreSQL refuses to run as root, so a test running as root runs it as the postgres system
// user (or nobody), the folder handed to that user.
class LocalPostgres
{
public:
    LocalPostgres();
    ~LocalPostgres();
    LocalPostgres(const LocalPostgres &) = delete;
    LocalPostgres &operator=(const LocalPostgres &) = delete;

    // Makes the cluster on the first start and waits until the server takes connections, on
    // the same port after a stop; false, with errorString(), when it does not.
    bool start();
    void stop();

    // A new empty database and its address for the site ("postgresql:///name?host=...");
    // empty, with errorString(), on failure.
    QString createDatabase(const QString &name);
    // The address of a database of this server.
    QString address(const QString &database) const;

    int port() const { return m_port; }
    QString errorString() const { return m_error; }

private:
    bool run(const QString &program, const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_binaries;
    QString m_runAs;  // empty when the test may run the server itself
    int m_port = 0;
    bool m_running = false;
    QString m_error;
};
