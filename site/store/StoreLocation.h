#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace Site {

// Where the site keeps its records: an SQLite file (one process, the default) or a PostgreSQL
// database that several site processes share. Written "sqlite:PATH" or
// "postgresql://user@host:port/database?option=value"; what the address leaves out (host, port,
// user, password, database) libpq takes from its PG* variables or ~/.pgpass, so no password
// need stand on a command line.
class StoreLocation
{
public:
    enum class Kind { Sqlite, Postgres };

    // Read when no --database is given.
    static const QString EnvironmentVariable;

    static StoreLocation sqliteFile(const QString &path);
    static Result<StoreLocation, StoreError> parse(const QString &text);
    // The given address, else the one in the environment, else the SQLite file in the data folder.
    static Result<StoreLocation, StoreError> choose(const QString &given, const QString &defaultSqliteFile);

    Kind kind() const { return m_kind; }
    QString sqlitePath() const { return m_path; }
    // Sets up a connection of the driver this location needs, not yet opened.
    void configure(QSqlDatabase &db) const;
    QString driverName() const;
    // For messages and logs: the address without its password.
    QString displayName() const;

private:
    Kind m_kind = Kind::Sqlite;
    QString m_path;
    QString m_host;
    int m_port = -1;
    QString m_user;
    QString m_password;
    QString m_database;
    QStringList m_options;  // further libpq settings, "name='value'"
};

}  // namespace Site
