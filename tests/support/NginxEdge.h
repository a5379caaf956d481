#pragma once

#include "support/ReferenceSite.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The site as it runs in public: the shipped nginx site in front (TLS, HTTP/2, files sent by
// nginx itself from the files folder), site processes behind it, all on free loopback ports.
// Stopped when the object goes.
class NginxEdge
{
public:
    struct Certificate
    {
        QString certificate;  // PEM files; a self-signed certificate for 127.0.0.1 when empty
        QString key;
    };

    ~NginxEdge();

    // Starts that many site processes with these options behind nginx (a missing second one is
    // down), sharing the files folder, one of its own in work unless given; empty, or why they
    // did not start.
    QString start(const QString &work, const QStringList &siteArguments, int processes = 1,
                  const QString &filesFolder = {}, const Certificate &certificate = {});
    // From the next start on, the site is served under /share/, through the nginx site's
    // commented locations for that in place of those at the root.
    void setServedUnderPath(bool on) { m_underPath = on; }
    // Starts nginx again on the same port with another certificate, the sites as they are.
    QString restartWith(const Certificate &certificate);
    void stop();

    // "https://127.0.0.1:<port>/" + path
    QString url(const QString &path) const;
    quint16 port() const { return m_port; }
    std::vector<std::unique_ptr<ReferenceSite>> &sites() { return m_sites; }

private:
    QString startNginx();

    QString m_work;
    QString m_files;
    Certificate m_certificate;
    std::vector<std::unique_ptr<ReferenceSite>> m_sites;
    QList<quint16> m_upstreams;
    quint16 m_port = 0;
    quint16 m_plainPort = 0;
    bool m_underPath = false;
    QProcess m_nginx;
};
