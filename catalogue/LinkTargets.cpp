#include "catalogue/LinkTargets.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

std::optional<QUrl> urlWithScheme(const QString &text, const QStringList &schemes, const QStringList &needHost)
{
    const QUrl url(text.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || !schemes.contains(scheme))
        return std::nullopt;
    if (needHost.contains(scheme) && url.host().isEmpty())
        return std::nullopt;
    return url;
}

}  // namespace

bool isOpenableLinkTarget(const QString &target)
{
    static const QStringList webSchemes = {u"http"_s, u"https"_s, u"ftp"_s, u"ftps"_s};
    if (urlWithScheme(target, webSchemes, webSchemes))
        return true;
    // magnet:?xt=..., thunder://<base64>, ed2k://|file|...|/ (which QUrl cannot parse): only
    // the scheme is checked, the rest is the handler's to read.
    static const QStringList linkSchemes = {u"magnet:"_s, u"thunder://"_s, u"ed2k://"_s};
    return std::any_of(linkSchemes.begin(), linkSchemes.end(), [&target](const QString &scheme) {
        return target.startsWith(scheme, Qt::CaseInsensitive) && target.size() > scheme.size();
    });
}

std::optional<QUrl> browsableAddress(const QString &address)
{
    static const QStringList schemes = {u"http"_s, u"https"_s};
    return urlWithScheme(address, schemes, schemes);
}

}  // namespace Quillmere
