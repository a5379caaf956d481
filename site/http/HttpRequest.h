#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUrl>

#include <optional>

struct MHD_Connection;

namespace Site {

// One request as the site's routes see it, valid while it is being answered: its method,
// target, headers and who sent it. Its body, when it has one, is read separately.
class HttpRequest
{
public:
    HttpRequest(MHD_Connection *connection, const QByteArray &method, const QByteArray &target, const QHostAddress &peer);

    QByteArray method() const { return m_method; }
    QByteArray target() const { return m_target; }  // as sent: a path, maybe with a query
    // The path and query asked for; of an absolute target ("http://host/path"), those after its host.
    const QUrl &url() const { return m_url; }
    // The host and port the request is for: an absolute target's, which stands over the Host
    // header, else that header's; nothing when neither names one.
    std::optional<QByteArray> host() const;
    // The client: the connecting address, or the one a trusted proxy forwarded the request for.
    QHostAddress peer() const { return m_peer; }
    void setPeer(const QHostAddress &peer) { m_peer = peer; }
    // The value of that header without the spaces around it, the first when there are
    // several; empty when there is none.
    QByteArray header(const char *name) const;
    bool hasHeader(const char *name) const;
    // How many times the header was sent.
    int headerCount(const char *name) const { return headerValues(name).size(); }
    // Every value of the header, in the order sent, without the spaces around each.
    QList<QByteArray> headerValues(const char *name) const;

    bool isGet() const { return m_method == "GET" || m_method == "HEAD"; }  // HEAD is GET without a body
    bool isPost() const { return m_method == "POST"; }

private:
    MHD_Connection *m_connection;
    QByteArray m_method;
    QByteArray m_target;
    QUrl m_url;
    std::optional<QByteArray> m_authority;  // of an absolute target
    QHostAddress m_peer;
};

}  // namespace Site
