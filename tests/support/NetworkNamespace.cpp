#include "support/NetworkNamespace.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;

NetworkNamespace::~NetworkNamespace()
{
    // The links go with the namespace that holds one of their ends.
    if (!m_name.isEmpty())
        ip({u"netns"_s, u"delete"_s, m_name});
}

bool NetworkNamespace::ip(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"ip"_s, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = process.error() == QProcess::FailedToStart
            ? u"needs ip (scripts/setup.sh) and root"_s
            : u"ip %1: %2"_s.arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

bool NetworkNamespace::create()
{
    // Named and numbered after the process, so that tests running at once keep apart.
    const qint64 pid = QCoreApplication::applicationPid();
    const QString name = u"qm%1"_s.arg(pid);
    const qint64 block = pid % 16384;
    const QString subnet = u"10.213.%1."_s.arg(block / 64);
    m_outside = subnet + QString::number(block % 64 * 4 + 1);
    m_inside = subnet + QString::number(block % 64 * 4 + 2);
    m_outsideLink = name + u'o';
    const QString insideLink = name + u'i';
    if (!ip({u"netns"_s, u"add"_s, name}))
        return false;
    m_name = name;
    return ip({u"link"_s, u"add"_s, m_outsideLink, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, insideLink, u"netns"_s,
               name})
        && ip({u"address"_s, u"add"_s, m_outside + u"/30"_s, u"dev"_s, m_outsideLink})
        && ip({u"link"_s, u"set"_s, m_outsideLink, u"up"_s})
        && ip({u"-n"_s, name, u"address"_s, u"add"_s, m_inside + u"/30"_s, u"dev"_s, insideLink})
        && ip({u"-n"_s, name, u"link"_s, u"set"_s, insideLink, u"up"_s})
        && ip({u"-n"_s, name, u"link"_s, u"set"_s, u"lo"_s, u"up"_s});
}

bool NetworkNamespace::setLineUp(bool up)
{
    return ip({u"link"_s, u"set"_s, m_outsideLink, up ? u"up"_s : u"down"_s});
}

qint64 NetworkNamespace::bytesReceived() const
{
    QFile counter(u"/sys/class/net/%1/statistics/rx_bytes"_s.arg(m_outsideLink));
    return counter.open(QIODevice::ReadOnly) ? counter.readAll().trimmed().toLongLong() : -1;
}
