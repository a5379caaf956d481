#include "platform/ListView.h"
#include "platform/NetworkHttpFetcher.h"
#include "platform/WebPane.h"
#include "windows/Form_guanfang.h"

#include "support/FormControls.h"
#include "support/RecordingShell.h"
#include "support/ReferenceSite.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace Quillmere;

// The official window against the reference site, with a real web pane: what a user does.
class TstGuanfangSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pagesToTheLastPageAndBack();
    void searchesByTitleAndByCategory();
    void refreshReturnsToTheWholeCatalogue();
    void clickedEntryShowsLinksAndPageAndOpensALink();
    void closesBackToTheMainWindow();

private:
    void click(const QString &button);
    void search(int field, const QString &keyword);
    QStringList column(int column) const;

    ReferenceSite m_site;
    QTemporaryDir m_programFolder;
    NetworkHttpFetcher m_fetcher;
    RecordingShell m_shell;
    std::unique_ptr<Form_guanfang> m_form;
    int m_count = 0;
};

void TstGuanfangSite::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    m_form = std::make_unique<Form_guanfang>(m_site.root(), ProgramFolder(m_programFolder.path()), m_fetcher, m_shell);
    m_form->show();
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 10);

    const QString status = control<QLabel>(*m_form, u"JiLu_Text"_s)->text();
    QVERIFY2(status.startsWith(u"已分享 "_s) && status.endsWith(u" 个资源"_s), qPrintable(status));
    m_count = status.sliced(4, status.size() - 8).toInt();
    QVERIFY(m_count >= 60);
}

void TstGuanfangSite::cleanupTestCase()
{
    m_form.reset();
}

void TstGuanfangSite::click(const QString &button)
{
    auto *widget = control<QPushButton>(*m_form, button);
    QVERIFY2(widget->isEnabled(), qPrintable(button));
    QTest::mouseClick(widget, Qt::LeftButton);
}

void TstGuanfangSite::search(int field, const QString &keyword)
{
    control<QComboBox>(*m_form, u"Combo1"_s)->setCurrentIndex(field);
    auto *box = control<QLineEdit>(*m_form, u"textsou"_s);
    QTest::mouseClick(box, Qt::LeftButton);
    box->insert(keyword);  // as an input method commits it

    click(u"SoSo"_s);
}

QStringList TstGuanfangSite::column(int column) const
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    QStringList cells;
    for (int row = 0; row < list->itemCount(); ++row)
        cells.append(list->cellText(row, column));
    return cells;
}

void TstGuanfangSite::pagesToTheLastPageAndBack()
{
    const int lastPage = (m_count + 9) / 10;
    const QStringList firstIds = column(ResourceRecord::Id);
    QSet<QString> ids(firstIds.begin(), firstIds.end());
    for (int page = 2; page <= lastPage; ++page) {
        click(u"Hou"_s);
        QCOMPARE(m_form->browser().currentPage(), page);
        QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->text(), u"当前共有 %1 个资源"_s.arg(m_count));
        for (const QString &id : column(ResourceRecord::Id))
            ids.insert(id);
    }
    QCOMPARE(ids.size(), m_count);
    QVERIFY(!control<QPushButton>(*m_form, u"Hou"_s)->isEnabled());
    QVERIFY(control<QPushButton>(*m_form, u"Qian"_s)->isEnabled());

    while (m_form->browser().currentPage() > 1)
        click(u"Qian"_s);
    QVERIFY(!control<QPushButton>(*m_form, u"Qian"_s)->isEnabled());
    QVERIFY(control<QPushButton>(*m_form, u"Hou"_s)->isEnabled());
}

void TstGuanfangSite::searchesByTitleAndByCategory()
{
    search(1, u"象棋"_s);
    QVERIFY(!column(ResourceRecord::Title).isEmpty());
    for (const QString &title : column(ResourceRecord::Title))
        QVERIFY2(title.contains(u"象棋"_s), qPrintable(title));
    QVERIFY(control<QLabel>(*m_form, u"JiLu_Text"_s)->text().startsWith(u"搜索到 "_s));

    search(1, u"C++"_s);
    QVERIFY(!column(ResourceRecord::Title).isEmpty());
    for (const QString &title : column(ResourceRecord::Title))
        QVERIFY2(title.contains(u"C++"_s), qPrintable(title));

    // The sample catalogue has two pages of software; paging repeats the category search.
    search(0, u"软件"_s);
    QCOMPARE(column(ResourceRecord::Category), QStringList(10, u"软件"_s));
    click(u"Hou"_s);
    QVERIFY(!column(ResourceRecord::Category).isEmpty());
    for (const QString &category : column(ResourceRecord::Category))
        QCOMPARE(category, u"软件"_s);
}

void TstGuanfangSite::refreshReturnsToTheWholeCatalogue()
{
    click(u"ShuaXin"_s);
    QCOMPARE(control<QLineEdit>(*m_form, u"textsou"_s)->text(), QString());
    QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->text(), u"已分享 %1 个资源"_s.arg(m_count));
    QCOMPARE(column(ResourceRecord::Title).size(), 10);
    QVERIFY(!m_form->browser().keywordMode());
}

void TstGuanfangSite::clickedEntryShowsLinksAndPageAndOpensALink()
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    const QStringList addresses = column(ResourceRecord::DownloadAddress);
    const int row = int(
        std::find_if(addresses.begin(), addresses.end(), [](const QString &a) { return a.contains(u"/**/"_s); })
        - addresses.begin());
    QVERIFY(row < addresses.size());
    auto *web = control<WebPane>(*m_form, u"Web"_s);
    QSignalSpy loaded(web, &WebPane::DownloadComplete);

    QTRY_COMPARE(list->model()->rowCount(), list->itemCount());
    const QModelIndex cell = list->model()->index(row, 1);
    list->scrollTo(cell);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(cell).center());
    QCOMPARE(m_form->browser().selectedRow(), row);
    const QString title = list->cellText(row, ResourceRecord::Title);
    QTRY_VERIFY_WITH_TIMEOUT(web->url() == QUrl(list->cellText(row, ResourceRecord::BrowseAddress)) && !loaded.isEmpty(),
                             20000);
    QTRY_VERIFY_WITH_TIMEOUT(web->title().contains(title), 20000);

    auto *links = control<QListWidget>(*m_form, u"List1"_s);
    QVERIFY(links->count() > 0);
    QTest::mouseClick(links->viewport(), Qt::LeftButton, {}, links->visualItemRect(links->item(0)).center());
    QCOMPARE(m_shell.targets.size(), 1);
    QVERIFY(m_shell.targets.first().contains(u":"_s));
}

void TstGuanfangSite::closesBackToTheMainWindow()
{
    QSignalSpy unloaded(m_form.get(), &Form::unloaded);
    m_form->window()->close();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!m_form->isLoaded());
}

QTEST_MAIN(TstGuanfangSite)
#include "tst_guanfang_site.moc"
