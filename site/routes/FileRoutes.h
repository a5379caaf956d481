#pragma once

#include "site/files/FileSender.h"
#include "site/http/HttpDaemon.h"

namespace Site {

class RouteContext;

// The official files, handed out only while a resource the public sees links them, and the
// users' uploads, which are downloads and never pages of the site.
class FileRoutes
{
public:
    explicit FileRoutes(RouteContext &context)
        : m_context(context)
        , m_sender(context)
    {
    }

    FileSender &sender() { return m_sender; }

    HttpDaemon::HeadDecision officialFile(const HttpRequest &request, const QString &path);
    HttpDaemon::HeadDecision userFile(const HttpRequest &request, const QString &path);

private:
    RouteContext &m_context;
    FileSender m_sender;
};

}  // namespace Site
