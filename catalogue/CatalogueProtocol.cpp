#include "catalogue/CatalogueProtocol.h"

#include "catalogue/HttpFetcher.h"
#include "catalogue/TextEncoding.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t RecordTerminator = u'\x01';
constexpr char16_t FieldSeparator = u'\x02';
constexpr QStringView TrailerMarker = u"?TtbBa?";

// The page count is a plain decimal number; anything else (a sign, letters, a number beyond
// 32 bits) counts as no page count at all.
qint32 readPageCount(QStringView element)
{
    element = element.trimmed();
    if (element.isEmpty()
        || !std::all_of(element.begin(), element.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return 0;
    bool ok = false;
    const qint32 value = element.toInt(&ok, 10);
    return ok ? value : 0;
}

void readTrailer(QStringView text, CataloguePage &page)
{
    const qsizetype marker = text.indexOf(TrailerMarker);
    // A body without the marker (an error page from a proxy, say) carries no trailer: reading
    // its first words as the resource count would only put noise in the status line.
    if (marker < 0)
        return;
    const QStringView trailer = text.sliced(marker + TrailerMarker.size());
    const qsizetype countEnd = trailer.indexOf(u'?');
    page.resourceCount = (countEnd < 0 ? trailer : trailer.first(countEnd)).toString();
    if (countEnd < 0)
        return;
    const QStringView rest = trailer.sliced(countEnd + 1);
    const qsizetype pagesEnd = rest.indexOf(u'?');
    page.pageCount = readPageCount(pagesEnd < 0 ? rest : rest.first(pagesEnd));
}

ResourceRecord splitRecord(QStringView piece, int fieldCount)
{
    ResourceRecord record;
    qsizetype start = 0;
    for (int k = 0; k < fieldCount; ++k) {
        const qsizetype end = piece.indexOf(FieldSeparator, start);
        if (end < 0) {
            record.fields[k] = piece.sliced(start);
            break;
        }
        record.fields[k] = piece.sliced(start, end - start);
        start = end + 1;
    }
    return record;
}

} // namespace

QString BuildCatalogueUrl(const CatalogueQuery &query)
{
    QString url = query.baseUrl + query.endpoint + u"page="_s + QString::number(query.page);
    if (query.keyword)
        url += u"&q="_s + *query.keyword;
    if (query.searchField)
        url += u"&t="_s + QString::number(*query.searchField);
    return url;
}

CatalogueFetch FetchCatalogue(HttpFetcher &fetcher, const QString &url, QByteArray &storedResponse)
{
    std::optional<QByteArray> body = fetcher.get(url);
    if (body)
        storedResponse = std::move(*body);
    return {Utf8ToUnicode(storedResponse), body.has_value()};
}

CataloguePage ParseCataloguePage(const QString &text, int fieldCount)
{
    CataloguePage page(text);
    if (text.isEmpty())
        return page;
    fieldCount = std::clamp(fieldCount, 0, int(ResourceRecord::FieldCount));

    // Fields are views into the page's own copy of the text, which shares the caller's buffer.
    const QStringView all(page.text());
    page.records.reserve(all.count(RecordTerminator));
    qsizetype start = 0;
    for (qsizetype end; (end = all.indexOf(RecordTerminator, start)) >= 0; start = end + 1)
        page.records.append(splitRecord(all.sliced(start, end - start), fieldCount));

    readTrailer(all, page);
    return page;
}

QList<DownloadLink> ParseDownloadLinks(QStringView downloadAddress)
{
    static constexpr QStringView EntryEnd = u"/**/";
    static constexpr QStringView TargetMark = u"/*/";

    QList<DownloadLink> links;
    qsizetype start = 0;
    for (qsizetype end; (end = downloadAddress.indexOf(EntryEnd, start)) >= 0; start = end + EntryEnd.size()) {
        const QStringView entry = downloadAddress.sliced(start, end - start);
        const qsizetype labelEnd = entry.indexOf(TargetMark);
        if (labelEnd < 0) {
            links.append({entry.toString(), QString()});
            continue;
        }
        const QStringView afterLabel = entry.sliced(labelEnd + TargetMark.size());
        const qsizetype targetEnd = afterLabel.indexOf(TargetMark);
        links.append({entry.first(labelEnd).toString(),
                      (targetEnd < 0 ? afterLabel : afterLabel.first(targetEnd)).toString()});
    }
    return links;
}
