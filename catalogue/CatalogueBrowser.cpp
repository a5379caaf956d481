#include "catalogue/CatalogueBrowser.h"

#include "catalogue/CatalogueView.h"
#include "catalogue/TextEncoding.h"
#include "common/Spaces.h"

#include <QLoggingCategory>
#include <QtNumeric>

#include <algorithm>
#include <tuple>

namespace Quillmere {

namespace {

Q_LOGGING_CATEGORY(lcCatalogue, "quillmere.catalogue", QtWarningMsg)

}  // namespace

CatalogueBrowser::CatalogueBrowser(const CatalogueProfile &profile, HttpFetcher &fetcher)
    : m_profile(profile)
    , m_fetcher(fetcher)
{
}

void CatalogueBrowser::attach(CatalogueView *view, const QString &serverRoot)
{
    m_view = view;
    m_selectedRow = -1;
    m_currentPage = 1;
    m_baseUrl = serverRoot + m_profile.cataloguePath;
}

void CatalogueBrowser::LoadFirstPage()
{
    m_currentPage = 1;
    m_endpoint = m_profile.endpoint;
    // A failed first load has nothing to put back: the page counter is 1 either way.
    std::ignore = show(query(1, false), CatalogueStatus::Kind::FirstPage, ButtonRule::FirstPage);
}

void CatalogueBrowser::NextPage()
{
    turnPage(1, ButtonRule::NextPage);
}

void CatalogueBrowser::PreviousPage()
{
    turnPage(-1, ButtonRule::PreviousPage);
}

void CatalogueBrowser::turnPage(int step, ButtonRule rule)
{
    const qint32 before = m_currentPage;
    // A step beyond the counter's range is refused and the counter stays.
    qint32 page = m_currentPage;
    if (!qAddOverflow(m_currentPage, qint32(step), &page))
        m_currentPage = page;
    const bool repeatSearch = m_profile.pagingRepeatsSearch && m_keywordMode;
    if (!show(query(m_currentPage, repeatSearch), CatalogueStatus::Kind::Paging, rule))
        m_currentPage = before;
}

void CatalogueBrowser::Search()
{
    // A failed search has put back what it changed.
    std::ignore = runSearch(CatalogueStatus::Kind::Search);
}

void CatalogueBrowser::Refresh()
{
    const QString keywordBefore = m_view->keywordText();
    m_view->setKeywordText(QString());
    // A refresh is a search without a keyword, told in the first page's wording. When it fails
    // the search mode goes back to what it was, so the box goes back too and the next page asks
    // for what the list still shows.
    if (!runSearch(CatalogueStatus::Kind::FirstPage))
        m_view->setKeywordText(keywordBefore);
}

Result<void, HttpFetcher::Error> CatalogueBrowser::runSearch(CatalogueStatus::Kind wording)
{
    const qint32 pageBefore = m_currentPage;
    const bool modeBefore = m_keywordMode;
    m_currentPage = 1;
    const CatalogueQuery search = query(1, true);
    // A search without a keyword goes back to plain paging; the box's hint is a placeholder,
    // so it is never searched for.
    if (m_profile.pagingRepeatsSearch)
        m_keywordMode = !search.keyword->isEmpty();
    Result<void, HttpFetcher::Error> shown = show(search, wording, ButtonRule::FirstPage);
    // The list still shows the last page that did arrive: paging goes on from there.
    if (!shown) {
        m_currentPage = pageBefore;
        m_keywordMode = modeBefore;
    }
    return shown;
}

CatalogueQuery CatalogueBrowser::query(qint32 page, bool withKeyword) const
{
    CatalogueQuery query{m_baseUrl, m_endpoint, page, {}, {}};
    if (withKeyword) {
        query.keyword = GBtoUTF8(trimSpaces(m_view->keywordText()));
        if (m_profile.hasSearchField)
            query.searchField = qint16(m_view->searchField());
    }
    return query;
}

Result<void, HttpFetcher::Error> CatalogueBrowser::show(const CatalogueQuery &query, CatalogueStatus::Kind wording,
                                                        ButtonRule rule)
{
    const QString url = BuildCatalogueUrl(query);
    const Result<void, HttpFetcher::Error> fetched = FetchCatalogue(m_fetcher, url, m_lastResponse);
    // Decoded either way: after a failed fetch the list shows the last page that did arrive.
    const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(m_lastResponse), m_profile.fieldCount);
    FillResourceList(page);
    if (!fetched) {
        qCWarning(lcCatalogue) << "cannot fetch" << url << ':' << fetched.error();
        // The buttons keep their state: they still describe the list on screen.
        m_view->showStatus({CatalogueStatus::Kind::Unreachable, {}, fetched.error()});
        return Failure(fetched.error());
    }
    // Without a count the status line keeps what it said.
    if (page.resourceCount)
        m_view->showStatus({wording, *page.resourceCount, {}});
    UpdatePagingButtons(rule, page.pageCount);
    return {};
}

void CatalogueBrowser::FillResourceList(const CataloguePage &page)
{
    m_view->clearRows();
    if (m_profile.keepsDownloadAddresses)
        m_view->clearDownloadAddresses();
    // Rows beyond what the list can count are left out rather than wrapping round.
    const qsizetype rows = std::min<qsizetype>(page.records.size(), MaxRows);
    for (qsizetype i = 0; i < rows; ++i) {
        const ResourceRecord &record = page.records[i];
        const int row = m_view->itemCount();
        m_view->addRow(row, record.field(0).toString());
        for (int column = 1; column < m_profile.fieldCount; ++column)
            m_view->setCellText(row, column, record.field(column).toString());
        if (m_profile.keepsDownloadAddresses)
            m_view->appendDownloadAddress(record.field(ResourceRecord::DownloadAddress).toString());
    }
}

void CatalogueBrowser::UpdatePagingButtons(ButtonRule rule, qint32 pageCount)
{
    // With a single page (or none) there is nowhere to page to, whichever way the user came.
    if (pageCount < 2) {
        m_view->setPagingButtons(false, false);
        return;
    }
    switch (rule) {
    case ButtonRule::FirstPage:
        m_view->setPagingButtons(false, true);
        break;
    case ButtonRule::NextPage:
        m_view->setPagingButtons(true, m_currentPage != pageCount);
        break;
    case ButtonRule::PreviousPage:
        m_view->setPagingButtons(m_currentPage != 1, true);
        break;
    }
}

}  // namespace Quillmere
