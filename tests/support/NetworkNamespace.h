#pragma once

#include <QString>
#include <QStringList>

// A network namespace of the test's own, joined to the test's by a pair of virtual Ethernet
// links with an address at each end, as a line between a user and a server: programs run in it
// through launcher(), and the test can take the line down and up again. Removed, with its
// links, when the object goes. Needs root (ip from iproute2).
class NetworkNamespace
{
public:
    ~NetworkNamespace();

    // False, with errorString(), when the namespace or its line cannot be made.
    bool create();
    bool setLineUp(bool up);

    // Prefixed to a command, runs it inside the namespace.
    QStringList launcher() const
    {
        return {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), m_name};
    }
    // The address of the namespace's end of the line, and of the test's end.
    QString insideAddress() const { return m_inside; }
    QString outsideAddress() const { return m_outside; }
    // Bytes that came over the line from inside so far, as the test's end counts them.
    qint64 bytesReceived() const;
    QString errorString() const { return m_error; }

private:
    bool ip(const QStringList &arguments);

    QString m_name;
    QString m_outsideLink;
    QString m_inside;
    QString m_outside;
    QString m_error;
};
