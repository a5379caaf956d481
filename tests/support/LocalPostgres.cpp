#include "LocalPostgres.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QVersionNumber>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The newest server installed the Debian way, /usr/lib/postgresql/<version>/bin.
QString serverBinaries()
{
    QString found;
    QVersionNumber newest;
    const QStringList versions = QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &version : versions) {
        const QString bin = u"/usr/lib/postgresql/%1/bin"_s.arg(version);
        if (QFileInfo(bin + u"/pg_ctl"_s).isExecutable() && QVersionNumber::fromString(version) > newest) {
            newest = QVersionNumber::fromString(version);
            found = bin;
        }
    }
    return found;
}

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Hands a folder and everything in it to a user.
bool giveTo(const QString &path, const passwd &user)
{
    if (::chown(QFile::encodeName(path).constData(), user.pw_uid, user.pw_gid) != 0)
        return false;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (::lchown(QFile::encodeName(it.next()).constData(), user.pw_uid, user.pw_gid) != 0)
            return false;
    }
    return true;
}

}  // namespace

LocalPostgres::LocalPostgres() = default;

LocalPostgres::~LocalPostgres()
{
    stop();
}

bool LocalPostgres::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = m_binaries + u'/' + program;
    if (m_runAs.isEmpty())
        process.start(path, arguments);
    else
        process.start(u"runuser"_s, QStringList{u"-u"_s, m_runAs, u"--"_s, path} + arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = u"%1 failed: %2 %3"_s.arg(program, process.errorString(),
                                            QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

bool LocalPostgres::start()
{
    if (m_running)
        return true;
    if (!m_folder) {
        m_binaries = serverBinaries();
        if (m_binaries.isEmpty()) {
            m_error = u"PostgreSQL's server programs are not installed (Debian package postgresql)"_s;
            return false;
        }
        m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/pg-XXXXXX"_s);
        if (!m_folder->isValid()) {
            m_error = m_folder->errorString();
            return false;
        }
        if (::geteuid() == 0) {
            const passwd *user = ::getpwnam("postgres");
            if (!user)
                user = ::getpwnam("nobody");
            if (!user || !giveTo(m_folder->path(), *user)) {
                m_error = u"cannot hand %1 to an unprivileged user"_s.arg(m_folder->path());
                return false;
            }
            m_runAs = QString::fromLocal8Bit(user->pw_name);
        }
        // Durability is no concern of a test's cluster; fsync off keeps it quick.
        if (!run(u"initdb"_s,
                 {u"-D"_s, m_folder->filePath(u"data"_s), u"-U"_s, u"postgres"_s, u"-A"_s, u"trust"_s, u"-E"_s,
                  u"UTF8"_s, u"--locale=C"_s, u"--no-sync"_s}))
            return false;
    }
    // A restarted server keeps its address, so that clients can find it again.
    if (m_port == 0)
        m_port = freePort();
    const QString options = u"-k %1 -p %2 -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200"_s.arg(
        m_folder->path(), QString::number(m_port));
    if (!run(u"pg_ctl"_s,
             {u"-D"_s, m_folder->filePath(u"data"_s), u"-l"_s, m_folder->filePath(u"server.log"_s), u"-o"_s, options,
              u"-w"_s, u"-t"_s, u"60"_s, u"start"_s})) {
        QFile log(m_folder->filePath(u"server.log"_s));
        if (log.open(QIODevice::ReadOnly))
            m_error += u"\n"_s + QString::fromLocal8Bit(log.readAll().right(2000));
        return false;
    }
    m_running = true;
    return true;
}

void LocalPostgres::stop()
{
    if (!m_running)
        return;
    m_running = false;
    run(u"pg_ctl"_s, {u"-D"_s, m_folder->filePath(u"data"_s), u"-m"_s, u"fast"_s, u"-w"_s, u"stop"_s});
}

QString LocalPostgres::address(const QString &database) const
{
    return u"postgresql:///%1?host=%2&port=%3&user=postgres"_s.arg(database, m_folder->path(), QString::number(m_port));
}

QString LocalPostgres::createDatabase(const QString &name)
{
    bool created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"local-postgres"_s);
        db.setHostName(m_folder->path());
        db.setPort(m_port);
        db.setUserName(u"postgres"_s);
        db.setDatabaseName(u"postgres"_s);
        if (!db.open()) {
            m_error = db.lastError().text();
        } else if (QSqlQuery query(db); !query.exec(u"CREATE DATABASE \"%1\""_s.arg(name))) {
            m_error = query.lastError().text();
        } else {
            created = true;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"local-postgres"_s);
    return created ? address(name) : QString();
}
