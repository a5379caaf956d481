#pragma once

#include "catalogue/CatalogueProfile.h"
#include "catalogue/CatalogueProtocol.h"
#include "catalogue/CatalogueStatus.h"

#include <QByteArray>
#include <QString>

namespace Quillmere {

class CatalogueView;

// The browsing state of one catalogue window: first page, paging, search and refresh, the
// status line and the paging buttons. It lives as long as its window object, so the search mode
// and the last response survive closing and reopening the window.
class CatalogueBrowser
{
public:
    // A page holds at most this many rows: list rows are counted in 16 bits.
    static constexpr int MaxRows = 32767;

    CatalogueBrowser(const CatalogueProfile &profile, HttpFetcher &fetcher);

    // Binds the controls of a new opening of the window and resets what every load resets:
    // page 1, no row selected, the catalogue's address under serverRoot.
    void attach(CatalogueView *view, const QString &serverRoot);
    // The controls are gone with the closed window.
    void detach() { m_view = nullptr; }

    void LoadFirstPage();
    void NextPage();
    void PreviousPage();
    void Search();
    void Refresh();

    QString baseUrl() const { return m_baseUrl; }
    qint32 currentPage() const { return m_currentPage; }
    bool keywordMode() const { return m_keywordMode; }
    int selectedRow() const { return m_selectedRow; }
    void setSelectedRow(int row) { m_selectedRow = row; }

private:
    enum class ButtonRule { FirstPage, NextPage, PreviousPage };

    void turnPage(int step, ButtonRule rule);
    Result<void, HttpFetcher::Error> runSearch(CatalogueStatus::Kind wording);
    // Fetches, fills the list and sets the status line and the buttons; when the fetch fails the
    // list shows the last response that did arrive.
    Result<void, HttpFetcher::Error> show(const CatalogueQuery &query, CatalogueStatus::Kind wording, ButtonRule rule);
    CatalogueQuery query(qint32 page, bool withKeyword) const;
    void FillResourceList(const CataloguePage &page);
    void UpdatePagingButtons(ButtonRule rule, qint32 pageCount);

    CatalogueProfile m_profile;
    HttpFetcher &m_fetcher;
    CatalogueView *m_view = nullptr;

    QString m_baseUrl;
    QString m_endpoint;
    qint32 m_currentPage = 1;
    bool m_keywordMode = false;
    QByteArray m_lastResponse;
    int m_selectedRow = -1;
};

}  // namespace Quillmere
