#include "catalogue/CatalogueBrowser.h"
#include "catalogue/CatalogueView.h"

#include "support/CatalogueText.h"
#include "support/FakeHttpFetcher.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

const QString Root = u"http://site/"_s;
const QString Official = Root + u"guanfang/admin_upload.php?"_s;
const QString User = Root + u"wangyou/users_upload.php?"_s;

using Kind = CatalogueStatus::Kind;

// The controls of a catalogue window, as plain data.
class FakeView : public CatalogueView
{
public:
    void clearRows() override { rows.clear(); }
    int itemCount() const override { return int(rows.size()); }
    void addRow(int position, const QString &text) override { rows.insert(position, QStringList(text)); }
    void setCellText(int row, int column, const QString &text) override
    {
        QStringList &cells = rows[row];
        while (cells.size() <= column)
            cells.append(QString());
        cells[column] = text;
    }
    void clearDownloadAddresses() override { downloadAddresses.clear(); }
    void appendDownloadAddress(const QString &address) override { downloadAddresses.append(address); }
    void showStatus(const CatalogueStatus &shown) override { status = shown; }
    void setPagingButtons(bool previous, bool next) override
    {
        previousEnabled = previous;
        nextEnabled = next;
    }
    QString keywordText() const override { return keyword; }
    void setKeywordText(const QString &text) override { keyword = text; }
    int searchField() const override { return field; }

    QList<QStringList> rows;
    QStringList downloadAddresses;
    std::optional<CatalogueStatus> status;  // nothing: the design caption
    bool previousEnabled = false;
    bool nextEnabled = false;
    QString keyword = u"请输入关键字"_s;
    int field = 1;
};

// A page whose rows are named after the page, with the given trailer.
QByteArray page(const QString &name, int records, const QString &count, int lastPage)
{
    QByteArray text;
    for (int i = 0; i < records; ++i) {
        text += catalogueRecord({u"软件"_s, name + u"-"_s + QString::number(i), u"备注"_s, u"2024-01-01"_s,
                                 u"L/*/http://t/"_s + name + u"/**/"_s, QString::number(i), u"http://b/"_s + name});
    }
    return text + (u"?TtbBa?"_s + count + u"?"_s + QString::number(lastPage)).toUtf8();
}

// A catalogue window just opened over a fake server that knows the given bodies.
struct Opened
{
    Opened(const CatalogueProfile &profile, const QHash<QString, QByteArray> &bodies)
        : browser(profile, fetcher)
    {
        fetcher.bodies = bodies;
        browser.attach(&view, Root);
        browser.LoadFirstPage();
    }

    FakeHttpFetcher fetcher;
    CatalogueBrowser browser;
    FakeView view;
};

std::optional<CatalogueStatus> status(Kind kind, const QString &resourceCount = {})
{
    // A failed fetch passes on why it failed.
    return CatalogueStatus{kind, resourceCount,
                           kind == Kind::Unreachable ? std::make_optional(FakeHttpFetcher::Refused) : std::nullopt};
}

QString firstTitle(const FakeView &view)
{
    return view.rows.isEmpty() ? QString() : view.rows.first().value(1);
}

}  // namespace

class TstCatalogueBrowser : public QObject
{
    Q_OBJECT

private slots:
    void firstPageFillsTheListInResponseOrder_data();
    void firstPageFillsTheListInResponseOrder();
    void emptyOrTrailerOnlyFirstPage_data();
    void emptyOrTrailerOnlyFirstPage();
    void pagingFollowsTheButtonRules();
    void officialPagingRepeatsTheSearchAsTheBoxNowReads();
    void userPagingAfterASearchWalksTheWholeCatalogue();
    void searchWithoutAKeywordGoesBackToPlainPaging();
    void refreshShowsTheEmptySearchInFirstPageWording();
    void failedFetchKeepsTheLastPageAndThePosition();
    void failedSearchKeepsTheSearchMode();
    void failedRefreshKeepsTheKeywordBoxAndSearchModeTogether();
    void reopenedWindowKeepsSearchModeAndLastResponse();
    void singlePageCatalogueDisablesBothButtonsWhilePaging();
    void countIsShownVerbatimAndAbsentCountLeavesTheStatus();
    void rowsBeyondTheListsRangeAreLeftOut();
};

void TstCatalogueBrowser::firstPageFillsTheListInResponseOrder_data()
{
    QTest::addColumn<bool>("official");
    QTest::newRow("official") << true;
    QTest::newRow("user") << false;
}

void TstCatalogueBrowser::firstPageFillsTheListInResponseOrder()
{
    QFETCH(bool, official);
    FakeHttpFetcher fetcher;
    const QString first = (official ? Official : User) + u"page=1"_s;
    fetcher.bodies.insert(first, page(u"p1"_s, 3, u"125"_s, 7));
    CatalogueBrowser browser(official ? CatalogueProfile::official() : CatalogueProfile::user(), fetcher);
    FakeView view;

    browser.attach(&view, Root);
    browser.LoadFirstPage();

    QCOMPARE(fetcher.requests, QStringList(first));
    QCOMPARE(view.rows.size(), 3);
    const int columns = official ? 7 : 6;
    QCOMPARE(view.rows[2],
             (QStringList{u"软件"_s, u"p1-2"_s, u"备注"_s, u"2024-01-01"_s, u"L/*/http://t/p1/**/"_s, u"2"_s,
                          u"http://b/p1"_s}
                  .first(columns)));
    QCOMPARE(view.status, status(Kind::FirstPage, u"125"_s));
    QVERIFY(!view.previousEnabled);
    QVERIFY(view.nextEnabled);
    QCOMPARE(view.downloadAddresses, official ? QStringList(3, u"L/*/http://t/p1/**/"_s) : QStringList());
}

void TstCatalogueBrowser::emptyOrTrailerOnlyFirstPage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<CatalogueStatus>>("shown");

    QTest::newRow("empty body leaves the design caption") << QByteArray() << std::optional<CatalogueStatus>();
    QTest::newRow("trailer only") << QByteArray("?TtbBa?0?0") << status(Kind::FirstPage, u"0"_s);
    QTest::newRow("one page") << page(u"p"_s, 2, u"2"_s, 1) << status(Kind::FirstPage, u"2"_s);
}

void TstCatalogueBrowser::emptyOrTrailerOnlyFirstPage()
{
    QFETCH(QByteArray, body);
    QFETCH(std::optional<CatalogueStatus>, shown);
    FakeHttpFetcher fetcher;
    fetcher.bodies.insert(Official + u"page=1"_s, body);
    CatalogueBrowser browser(CatalogueProfile::official(), fetcher);
    FakeView view;
    view.previousEnabled = view.nextEnabled = true;

    browser.attach(&view, Root);
    browser.LoadFirstPage();

    QCOMPARE(view.status, shown);
    QVERIFY(!view.previousEnabled);
    QVERIFY(!view.nextEnabled);
}

void TstCatalogueBrowser::pagingFollowsTheButtonRules()
{
    FakeHttpFetcher fetcher;
    for (int p = 1; p <= 7; ++p)
        fetcher.bodies.insert(User + u"page="_s + QString::number(p), page(u"p"_s + QString::number(p), 2, u"70"_s, 7));
    CatalogueBrowser browser(CatalogueProfile::user(), fetcher);
    FakeView view;
    browser.attach(&view, Root);
    browser.LoadFirstPage();

    for (int p = 2; p <= 6; ++p) {
        browser.NextPage();
        QCOMPARE(browser.currentPage(), p);
        QVERIFY(view.previousEnabled && view.nextEnabled);
        QCOMPARE(view.status, status(Kind::Paging, u"70"_s));
    }
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=7"_s);
    QCOMPARE(firstTitle(view), u"p7-0"_s);
    QVERIFY(view.previousEnabled);
    QVERIFY(!view.nextEnabled);

    while (browser.currentPage() > 2)
        browser.PreviousPage();
    QVERIFY(view.previousEnabled && view.nextEnabled);
    browser.PreviousPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=1"_s);
    QVERIFY(!view.previousEnabled);
    QVERIFY(view.nextEnabled);
}

void TstCatalogueBrowser::officialPagingRepeatsTheSearchAsTheBoxNowReads()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"all"_s, 1, u"9"_s, 9)},
                   {Official + u"page=1&q=%E4%B8%AD&t=1"_s, page(u"s1"_s, 1, u"30"_s, 3)},
                   {Official + u"page=2&q=%E4%B8%AD&t=1"_s, page(u"s2"_s, 1, u"30"_s, 3)},
                   {Official + u"page=3&q=abc&t=0"_s, page(u"s3"_s, 1, u"30"_s, 3)}});
    auto &[fetcher, browser, view] = opened;

    view.keyword = u"  中  "_s;
    browser.Search();
    QVERIFY(browser.keywordMode());
    QCOMPARE(view.status, status(Kind::Search, u"30"_s));
    QVERIFY(!view.previousEnabled && view.nextEnabled);

    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=2&q=%E4%B8%AD&t=1"_s);
    QCOMPARE(firstTitle(view), u"s2-0"_s);

    // Changed but not searched: the next page carries the new keyword and field.
    view.keyword = u"  abc  "_s;
    view.field = 0;
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=3&q=abc&t=0"_s);
    QVERIFY(view.previousEnabled && !view.nextEnabled);
}

void TstCatalogueBrowser::userPagingAfterASearchWalksTheWholeCatalogue()
{
    Opened opened(CatalogueProfile::user(),
                  {{User + u"page=1"_s, page(u"all"_s, 1, u"9"_s, 9)},
                   {User + u"page=1&q=C%2B%2B"_s, page(u"s1"_s, 1, u"30"_s, 3)},
                   {User + u"page=2"_s, page(u"all2"_s, 1, u"9"_s, 9)}});
    auto &[fetcher, browser, view] = opened;

    view.keyword = u"C++"_s;
    browser.Search();
    QCOMPARE(firstTitle(view), u"s1-0"_s);
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=2"_s);
    QCOMPARE(firstTitle(view), u"all2-0"_s);
}

void TstCatalogueBrowser::searchWithoutAKeywordGoesBackToPlainPaging()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"all"_s, 1, u"9"_s, 9)},
                   {Official + u"page=1&q=x&t=1"_s, page(u"x"_s, 1, u"30"_s, 3)},
                   {Official + u"page=1&q=&t=1"_s, page(u"empty"_s, 1, u"90"_s, 9)},
                   {Official + u"page=2"_s, page(u"all2"_s, 1, u"9"_s, 9)},
                   {Official + u"page=2&q=%E8%AF%B7%E8%BE%93%E5%85%A5%E5%85%B3%E9%94%AE%E8%AF%8D&t=1"_s,
                    page(u"hint2"_s, 1, u"9"_s, 9)}});
    auto &[fetcher, browser, view] = opened;

    view.keyword = u"x"_s;
    browser.Search();
    view.keyword = u"   "_s;
    browser.Search();
    QCOMPARE(fetcher.requests.last(), Official + u"page=1&q=&t=1"_s);
    QVERIFY(!browser.keywordMode());
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=2"_s);

    // Only an empty keyword counts as none: any typed text is searched, and paged, as it is.
    view.keyword = u"请输入关键词"_s;
    fetcher.bodies.insert(Official + u"page=1&q=%E8%AF%B7%E8%BE%93%E5%85%A5%E5%85%B3%E9%94%AE%E8%AF%8D&t=1"_s,
                          page(u"hint"_s, 1, u"9"_s, 9));
    browser.Search();
    QVERIFY(browser.keywordMode());
    browser.NextPage();
    QCOMPARE(firstTitle(view), u"hint2-0"_s);
}

void TstCatalogueBrowser::refreshShowsTheEmptySearchInFirstPageWording()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"all"_s, 1, u"9"_s, 9)},
                   {Official + u"page=1&q=x&t=1"_s, page(u"x"_s, 1, u"30"_s, 1)},
                   {Official + u"page=1&q=&t=1"_s, page(u"fresh"_s, 4, u"131"_s, 14)}});
    auto &[fetcher, browser, view] = opened;
    view.keyword = u"x"_s;
    browser.Search();
    browser.NextPage();

    browser.Refresh();

    QCOMPARE(view.keyword, QString());
    QCOMPARE(fetcher.requests.last(), Official + u"page=1&q=&t=1"_s);
    QCOMPARE(browser.currentPage(), 1);
    QCOMPARE(view.rows.size(), 4);
    QCOMPARE(view.status, status(Kind::FirstPage, u"131"_s));
    QVERIFY(!view.previousEnabled && view.nextEnabled);
}

void TstCatalogueBrowser::failedFetchKeepsTheLastPageAndThePosition()
{
    Opened opened(
        CatalogueProfile::user(),
        {{User + u"page=1"_s, page(u"p1"_s, 2, u"50"_s, 5)}, {User + u"page=2"_s, page(u"p2"_s, 2, u"50"_s, 5)}});
    auto &[fetcher, browser, view] = opened;
    browser.NextPage();

    fetcher.offline = true;
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=3"_s);
    QCOMPARE(browser.currentPage(), 2);
    QCOMPARE(firstTitle(view), u"p2-0"_s);
    QCOMPARE(view.status, status(Kind::Unreachable));
    QVERIFY(view.previousEnabled && view.nextEnabled);

    fetcher.offline = false;
    browser.PreviousPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=1"_s);
    QCOMPARE(view.status, status(Kind::Paging, u"50"_s));
}

void TstCatalogueBrowser::failedSearchKeepsTheSearchMode()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"p1"_s, 2, u"50"_s, 5)},
                   {Official + u"page=2"_s, page(u"p2"_s, 2, u"50"_s, 5)}});
    auto &[fetcher, browser, view] = opened;

    fetcher.offline = true;
    view.keyword = u"abc"_s;
    browser.Search();
    QVERIFY(!browser.keywordMode());
    QCOMPARE(firstTitle(view), u"p1-0"_s);

    fetcher.offline = false;
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=2"_s);
}

void TstCatalogueBrowser::failedRefreshKeepsTheKeywordBoxAndSearchModeTogether()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"all"_s, 1, u"9"_s, 9)},
                   {Official + u"page=1&q=abc&t=1"_s, page(u"s1"_s, 1, u"30"_s, 3)},
                   {Official + u"page=2&q=abc&t=1"_s, page(u"s2"_s, 1, u"30"_s, 3)}});
    auto &[fetcher, browser, view] = opened;
    view.keyword = u"abc"_s;
    browser.Search();

    fetcher.offline = true;
    browser.Refresh();
    QCOMPARE(view.status, status(Kind::Unreachable));
    QCOMPARE(firstTitle(view), u"s1-0"_s);
    QCOMPARE(view.keyword, u"abc"_s);
    QVERIFY(browser.keywordMode());

    fetcher.offline = false;
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=2&q=abc&t=1"_s);
}

void TstCatalogueBrowser::reopenedWindowKeepsSearchModeAndLastResponse()
{
    FakeHttpFetcher fetcher;
    fetcher.bodies.insert(Official + u"page=1"_s, page(u"p1"_s, 2, u"50"_s, 5));
    fetcher.bodies.insert(Official + u"page=1&q=k&t=1"_s, page(u"k1"_s, 1, u"20"_s, 2));
    fetcher.bodies.insert(Official + u"page=2&q=k&t=1"_s, page(u"k2"_s, 1, u"20"_s, 2));
    CatalogueBrowser browser(CatalogueProfile::official(), fetcher);
    auto view = std::make_unique<FakeView>();
    browser.attach(view.get(), Root);
    browser.LoadFirstPage();
    view->keyword = u"k"_s;
    browser.Search();
    browser.setSelectedRow(1);
    browser.detach();

    // Opened again: page 1 and no selection, but paging still repeats the search.
    view = std::make_unique<FakeView>();
    view->keyword = u"k"_s;
    browser.attach(view.get(), Root);
    QCOMPARE(browser.selectedRow(), -1);
    browser.LoadFirstPage();
    QCOMPARE(browser.currentPage(), 1);
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), Official + u"page=2&q=k&t=1"_s);
    browser.detach();

    // Opened offline: the last page that arrived is shown again.
    fetcher.offline = true;
    view = std::make_unique<FakeView>();
    browser.attach(view.get(), Root);
    browser.LoadFirstPage();
    QCOMPARE(firstTitle(*view), u"k2-0"_s);
    QCOMPARE(view->status, status(Kind::Unreachable));
    QCOMPARE(browser.currentPage(), 1);
}

void TstCatalogueBrowser::singlePageCatalogueDisablesBothButtonsWhilePaging()
{
    Opened opened(CatalogueProfile::user(),
                  {{User + u"page=1"_s, page(u"p1"_s, 2, u"30"_s, 3)},
                   {User + u"page=2"_s, page(u"shrunk"_s, 0, u"5"_s, 1)},
                   {User + u"page=3"_s, QByteArray("no trailer at all")}});
    auto &[fetcher, browser, view] = opened;

    browser.NextPage();
    QVERIFY(!view.previousEnabled && !view.nextEnabled);
    browser.PreviousPage();
    QVERIFY(!view.previousEnabled && view.nextEnabled);
    browser.NextPage();
    browser.NextPage();
    QCOMPARE(fetcher.requests.last(), User + u"page=3"_s);
    QVERIFY(!view.previousEnabled && !view.nextEnabled);
    QCOMPARE(view.status, status(Kind::Paging, u"5"_s));
}

void TstCatalogueBrowser::countIsShownVerbatimAndAbsentCountLeavesTheStatus()
{
    Opened opened(
        CatalogueProfile::user(),
        {{User + u"page=1"_s, page(u"p1"_s, 1, u"abc"_s, 1)}, {User + u"page=1&q=z"_s, page(u"z"_s, 1, u"abc"_s, 1)}});
    auto &[fetcher, browser, view] = opened;
    view.keyword = u"z"_s;
    browser.Search();
    QCOMPARE(view.status, status(Kind::Search, u"abc"_s));

    fetcher.bodies.insert(User + u"page=1&q=z"_s, QByteArray());
    browser.Search();
    QCOMPARE(view.status, status(Kind::Search, u"abc"_s));
    QVERIFY(view.rows.isEmpty());
}

void TstCatalogueBrowser::rowsBeyondTheListsRangeAreLeftOut()
{
    Opened opened(CatalogueProfile::official(),
                  {{Official + u"page=1"_s, page(u"big"_s, CatalogueBrowser::MaxRows + 5, u"40000"_s, 2)}});
    auto &[fetcher, browser, view] = opened;

    QCOMPARE(view.rows.size(), CatalogueBrowser::MaxRows);
    QCOMPARE(view.downloadAddresses.size(), CatalogueBrowser::MaxRows);
    QCOMPARE(view.rows.last().value(1), u"big-32766"_s);
}

QTEST_APPLESS_MAIN(TstCatalogueBrowser)
#include "tst_cataloguebrowser.moc"
