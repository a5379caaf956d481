#pragma once

#include "site/forms/UploadIntake.h"
#include "site/forms/UserUpload.h"
#include "site/http/HttpDaemon.h"

#include <QStringList>

#include <optional>

namespace Site {

class CatalogueCache;
class RouteContext;

// The upload page and the uploads sent from it. The page lists the user catalogue's
// categories, kept with the catalogue; an upload is refused from its head when its sender is
// blocked, past its allowance or its day's share, or the disk is down to its reserve, and else
// taken by the intake (see UploadIntake).
class UploadRoutes
{
public:
    UploadRoutes(RouteContext &context, CatalogueCache &cache, UploadIntake &intake)
        : m_context(context)
        , m_cache(cache)
        , m_intake(intake)
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
    // On this thread, once the intake is done with an upload.
    HttpAnswer taken(const UploadIntake::Outcome &outcome, const UploadIntake::Categories &categories,
                     qint64 generation, const QString &root);

    RouteContext &m_context;
    CatalogueCache &m_cache;
    UploadIntake &m_intake;
};

}  // namespace Site
