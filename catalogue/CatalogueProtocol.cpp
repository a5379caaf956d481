#include "catalogue/CatalogueProtocol.h"

#include <QtAlgorithms>

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

constexpr char16_t RecordTerminator = u'\x01';
constexpr char16_t FieldSeparator = u'\x02';
constexpr QStringView TrailerMarker = u"?TtbBa?";

// The page count is a plain decimal number; anything else (a sign, letters, a number beyond
// 32 bits) counts as no page count at all.
qint32 readPageCount(QStringView element)
{
    element = element.trimmed();
    if (element.isEmpty() || !std::all_of(element.begin(), element.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return 0;
    bool ok = false;
    const qint32 value = element.toInt(&ok, 10);
    return ok ? value : 0;
}

// The first character at or after p that is a or b, or end. Every character of a page passes
// through here, so eight are compared at a time where the processor allows it.
const QChar *findEither(const QChar *p, const QChar *end, char16_t a, char16_t b)
{
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi16(short(a));
    const __m128i second = _mm_set1_epi16(short(b));
    for (; end - p >= 8; p += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(chunk, first), _mm_cmpeq_epi16(chunk, second));
        if (const int mask = _mm_movemask_epi8(hits))
            return p + qCountTrailingZeroBits(uint(mask)) / 2;
    }
#endif
    for (; p != end; ++p) {
        if (p->unicode() == a || p->unicode() == b)
            return p;
    }
    return end;
}

// Where the first trailer marker starts, or -1. QStringView::indexOf takes as long as decoding
// the whole page; looking only at each "?" takes a fifth of that.
qsizetype indexOfMarker(QStringView text)
{
    const QChar *const begin = text.data();
    const QChar *const end = begin + text.size();
    for (const QChar *p = begin; (p = findEither(p, end, u'?', u'?')) != end; ++p) {
        if (QStringView(p, end).startsWith(TrailerMarker))
            return p - begin;
    }
    return -1;
}

void readTrailer(QStringView text, CataloguePage &page)
{
    const qsizetype marker = indexOfMarker(text);
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

}  // namespace

QString BuildCatalogueUrl(const CatalogueQuery &query)
{
    QString url = query.baseUrl + query.endpoint + u"page="_s + QString::number(query.page);
    if (query.keyword)
        url += u"&q="_s + *query.keyword;
    if (query.searchField)
        url += u"&t="_s + QString::number(*query.searchField);
    return url;
}

Result<void, HttpFetcher::Error> FetchCatalogue(HttpFetcher &fetcher, const QString &url, QByteArray &storedResponse)
{
    Result<QByteArray, HttpFetcher::Error> body = fetcher.get(url);
    if (!body)
        return Failure(body.error());
    storedResponse = std::move(*body);
    return {};
}

CataloguePage ParseCataloguePage(const QString &text, int fieldCount)
{
    CataloguePage page(text);
    if (text.isEmpty())
        return page;
    fieldCount = std::clamp(fieldCount, 0, int(ResourceRecord::FieldCount));

    // One pass over the text; fields are views into the page's own copy of it, which shares the
    // caller's buffer. Text after the last terminator is never a record.
    const QChar *const begin = page.text().constData();
    const QChar *const end = begin + page.text().size();
    const QChar *fieldStart = begin;
    ResourceRecord record;
    int field = 0;
    // Real records run to well over a hundred characters: this spares the list its regrowth
    // copies, and the pages reserved beyond what a page uses are never touched.
    page.records.reserve(page.text().size() / 64);
    for (const QChar *p = begin; (p = findEither(p, end, RecordTerminator, FieldSeparator)) != end; ++p) {
        if (field < fieldCount)
            record.fields[field] = QStringView(fieldStart, p);
        fieldStart = p + 1;
        ++field;
        if (p->unicode() == RecordTerminator) {
            page.records.append(record);
            record = ResourceRecord();
            field = 0;
        }
    }

    readTrailer(page.text(), page);
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
        links.append(
            {entry.first(labelEnd).toString(), (targetEnd < 0 ? afterLabel : afterLabel.first(targetEnd)).toString()});
    }
    return links;
}

}  // namespace Quillmere
