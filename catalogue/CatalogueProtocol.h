#pragma once

#include "catalogue/HttpFetcher.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace Quillmere {

// The parameters of one catalogue request, in the order in which they enter the URL.
struct CatalogueQuery
{
    QString baseUrl;   // server root + catalogue path, e.g. ".../guanfang/"
    QString endpoint;  // ends with "?"
    qint32 page = 1;
    std::optional<QString> keyword;     // already encoded with GBtoUTF8
    std::optional<qint16> searchField;  // official catalogue only: 0 category, 1 title
};

// One catalogue entry. Fields are slices of the decoded response text owned by the
// CataloguePage the record belongs to.
struct ResourceRecord
{
    enum Field { Category, Title, Remark, CollectedTime, DownloadAddress, Id, BrowseAddress, FieldCount };

    std::array<QStringView, FieldCount> fields;

    QStringView field(int index) const { return fields.at(index); }
};

// One decoded response. Keeps the text its records point into; copies share it.
class CataloguePage
{
public:
    CataloguePage() = default;
    explicit CataloguePage(const QString &text)
        : m_text(text)
    {
    }

    const QString &text() const { return m_text; }

    QList<ResourceRecord> records;
    std::optional<QString> resourceCount;  // nothing when the body carries no trailer
    qint32 pageCount = 0;

private:
    QString m_text;
};

// An official download link: what the user sees and what the shell opens.
struct DownloadLink
{
    QString label;
    QString target;

    friend bool operator==(const DownloadLink &, const DownloadLink &) = default;
};

QString BuildCatalogueUrl(const CatalogueQuery &query);

// Fetches url; on success the body replaces storedResponse, on failure storedResponse stays, so
// that decoding it shows the last page that did arrive.
Result<void, HttpFetcher::Error> FetchCatalogue(HttpFetcher &fetcher, const QString &url, QByteArray &storedResponse);

// Splits a decoded response into records of fieldCount fields and reads its trailer.
CataloguePage ParseCataloguePage(const QString &text, int fieldCount);

QList<DownloadLink> ParseDownloadLinks(QStringView downloadAddress);

}  // namespace Quillmere
