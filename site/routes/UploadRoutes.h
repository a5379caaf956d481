#pragma once

#include "site/forms/UserUpload.h"
#include "site/http/HttpDaemon.h"

#include <QStringList>

#include <optional>

class CatalogueCache;
class PostGate;
class RouteContext;

// The upload page and the uploads sent from it. The page lists the user catalogue's
// categories, kept with the catalogue; an upload is refused from its head when its sender is
// blocked or past its allowance, and else checked and stored on a worker, in the transaction
// that also counts it against the allowance.
class UploadRoutes
{
public:
    UploadRoutes(RouteContext &context, CatalogueCache &cache, const PostGate &gate)
        : m_context(context)
        , m_cache(cache)
        , m_gate(gate)
    {
    }

    HttpDaemon::HeadDecision uploadPage(const HttpRequest &request);
    // Reads the upload's body as limits say, unless its sender may not upload now.
    HttpDaemon::HeadDecision headArrived(const HttpRequest &request, const FormReader::Limits &limits);
    HttpDaemon::FormDecision upload(const HttpRequest &request, ReceivedForm &form,
                                    std::optional<FormReader::Error> error);

private:
    // The page with the upload form, filled with what a refused upload entered and why.
    static HttpAnswer uploadForm(const QStringList &categories, const std::optional<UserUpload::Rejection> &rejection,
                                 qint64 waitSeconds, const QString &root);

    RouteContext &m_context;
    CatalogueCache &m_cache;
    const PostGate &m_gate;
};
