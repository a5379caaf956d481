#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "platform/NetworkHttpFetcher.h"
#include "platform/WebPane.h"
#include "windows/Form_fenxiang.h"
#include "windows/Form_liuyan.h"

#include "support/ReferenceSite.h"
#include "support/WebPaneScripts.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

constexpr int TimeoutMs = 30000;
constexpr int FileSize = 200 * 1024;

// The bytes the page's script puts into the file it uploads: every byte value, line breaks
// and dashes among them, so the form's boundary has to be found exactly.
QByteArray uploadedBytes()
{
    QByteArray bytes(FileSize, Qt::Uninitialized);
    for (int i = 0; i < FileSize; ++i)
        bytes[i] = char((i * 7 + 3) & 0xff);
    return bytes;
}

// Script that gives the page's file input one chosen file, as the file dialog would: a page
// cannot type a path into it, but it can hand it a File.
QString chooseFile(const QString &name, const QString &bytes)
{
    return uR"(
var dt = new DataTransfer();
%1
dt.items.add(new File([bytes], %2, {type: 'application/octet-stream'}));
document.getElementById('file').files = dt.files;
document.getElementById('file').files.length;)"_s.arg(bytes, name);
}

}  // namespace

// The two web windows on the real pages of the reference site: a user shares a file and
// finds it in the user catalogue, and leaves a message on the board.
class TstWebWindowsSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void tooLargeAFileNeverLeavesThePage();
    void sharesAFileThatTheCatalogueThenOffers();
    void choosesTheFileToShareInACaptionedDialog();
    void leavesAMessageOnTheBoard();

private:
    WebPane *open(WebPaneForm &form);
    QVariant evaluate(WebPane *web, const QString &script);
    void clickAndWaitForLoad(WebPane *web, const QString &selector);

    ReferenceSite m_site;
    std::unique_ptr<Form_fenxiang> m_fenxiang;
    std::unique_ptr<Form_liuyan> m_liuyan;
};

void TstWebWindowsSite::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    m_fenxiang = std::make_unique<Form_fenxiang>(m_site.root());
    m_liuyan = std::make_unique<Form_liuyan>(m_site.root());
}

void TstWebWindowsSite::cleanupTestCase()
{
    m_fenxiang.reset();
    m_liuyan.reset();
}

WebPane *TstWebWindowsSite::open(WebPaneForm &form)
{
    form.show();
    auto *web = form.window()->findChild<WebPane *>(u"web"_s);
    QSignalSpy completed(web, &WebPane::DownloadComplete);
    if (!completed.wait(TimeoutMs) || web->url() != form.startAddress())
        return nullptr;
    return web;
}

QVariant TstWebWindowsSite::evaluate(WebPane *web, const QString &script)
{
    // Shared, so that an answer arriving after a failed wait has somewhere to go.
    auto result = std::make_shared<std::optional<QVariant>>();
    engineView(web)->page()->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    return QTest::qWaitFor([&] { return result->has_value(); }, TimeoutMs) ? **result : QVariant();
}

void TstWebWindowsSite::clickAndWaitForLoad(WebPane *web, const QString &selector)
{
    QSignalSpy completed(web, &WebPane::DownloadComplete);
    evaluate(web, u"document.querySelector('%1').click();"_s.arg(selector));
    QVERIFY(completed.wait(TimeoutMs));
}

void TstWebWindowsSite::tooLargeAFileNeverLeavesThePage()
{
    WebPane *web = open(*m_fenxiang);
    QVERIFY(web);
    evaluate(web, u"document.getElementById('title').value = '太大了';"_s);
    const QString bigFile = u"var bytes = new Uint8Array(%1);"_s.arg(50 * 1024 * 1024 + 1);
    QCOMPARE(evaluate(web, chooseFile(u"'big.iso'"_s, bigFile)).toInt(), 1);

    QSignalSpy begun(web, &WebPane::DownloadBegin);
    evaluate(web, u"document.querySelector('#upload button').click();"_s);
    QCOMPARE(evaluate(web, u"document.getElementById('error').textContent"_s).toString(),
             u"文件太大：单个文件不能超过 50 MB。"_s);
    QCOMPARE(begun.count(), 0);
    QCOMPARE(web->url(), m_fenxiang->startAddress());
    m_fenxiang->unload();
}

void TstWebWindowsSite::sharesAFileThatTheCatalogueThenOffers()
{
    WebPane *web = open(*m_fenxiang);
    QVERIFY(web);
    const QString title = u"端到端 分享 <测试>"_s;
    evaluate(web, uR"(
document.getElementById('category').value = '工具';
document.getElementById('title').value = '端到端 分享 <测试>';
document.getElementById('remark').value = '从上传页面传上来的';)"_s);
    const QString bytes =
        u"var bytes = new Uint8Array(%1); for (var i = 0; i < bytes.length; ++i) bytes[i] = (i * 7 + 3) & 255;"_s.arg(
            FileSize);
    QCOMPARE(evaluate(web, chooseFile(u"'工具 包.bin'"_s, bytes)).toInt(), 1);

    clickAndWaitForLoad(web, u"#upload button"_s);
    QVERIFY2(web->url().toString().startsWith(m_site.root() + u"wangyou/?done="_s), qPrintable(web->url().toString()));
    QCOMPARE(web->title(), u"上传成功 - Quillmere"_s);

    // F5 takes the window back to an empty form.
    QVERIFY(QTest::qWaitForWindowActive(m_fenxiang->window()));
    QSignalSpy completed(web, &WebPane::DownloadComplete);
    QTest::keyClick(inputSurface(web), Qt::Key_F5);
    QVERIFY(completed.wait(TimeoutMs));
    QCOMPARE(web->url(), m_fenxiang->startAddress());
    QCOMPARE(evaluate(web, u"document.getElementById('title').value"_s).toString(), QString());
    m_fenxiang->unload();

    // The user catalogue, searched the way its window searches it, holds the new entry.
    NetworkHttpFetcher fetcher;
    QByteArray stored;
    QVERIFY(FetchCatalogue(
        fetcher, BuildCatalogueUrl({m_site.root() + u"wangyou/"_s, u"users_upload.php?"_s, 1, GBtoUTF8(u"端到端"_s), {}}),
        stored));
    const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(stored), 6);
    QCOMPARE(page.records.size(), 1);
    const ResourceRecord &record = page.records.first();
    QCOMPARE(record.field(ResourceRecord::Category), u"工具"_s);
    QCOMPARE(record.field(ResourceRecord::Title), title);
    QCOMPARE(record.field(ResourceRecord::Remark), u"从上传页面传上来的"_s);
    const QString address = record.field(ResourceRecord::DownloadAddress).toString();
    QVERIFY2(address.endsWith(u"/工具_包.bin"_s), qPrintable(address));

    QFile file(m_site.dataPath() + u"/wangyou/up/"_s + address);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), uploadedBytes());
    // The address the client builds for a download brings the file.
    QCOMPARE(fetcher.get(m_site.root() + u"wangyou/up/"_s + address).value(), uploadedBytes());
}

void TstWebWindowsSite::choosesTheFileToShareInACaptionedDialog()
{
    WebPane *web = open(*m_fenxiang);
    QVERIFY(web);
    const std::optional<FileDialogSeen> seen = cancelFileDialog(web, u"file"_s);
    QVERIFY(seen);
    QCOMPARE(seen->caption, u"选择要分享的文件"_s);
    QCOMPARE(seen->mode, QFileDialog::ExistingFile);
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    QVERIFY2(seen->folder == QDir::homePath() || seen->folder == downloads, qPrintable(seen->folder));
    m_fenxiang->unload();
}

void TstWebWindowsSite::leavesAMessageOnTheBoard()
{
    WebPane *web = open(*m_liuyan);
    QVERIFY(web);
    const QString name = u"测试员 <i>"_s;
    const QString text = u"第一行 <script>document.title = 'hacked'</script>\n第二行 & 完"_s;
    evaluate(web, uR"(
document.querySelector('form.post [name=name]').value = '测试员 <i>';
document.querySelector('form.post [name=text]').value = "第一行 <script>document.title = 'hacked'</script>\n第二行 & 完";)"_s);

    clickAndWaitForLoad(web, u"form.post button"_s);
    QCOMPARE(web->url(), QUrl(m_site.root() + u"nds_wd-nds_wd.html?posted=1"_s));
    QCOMPARE(web->title(), u"留言板 - Quillmere"_s);
    QCOMPARE(evaluate(web, u"document.querySelector('ol.messages li b').textContent"_s).toString(), name);
    QCOMPARE(evaluate(web, u"document.querySelector('ol.messages li .text').textContent"_s).toString(), text);
    // The markup in the message made no elements of its own.
    QCOMPARE(evaluate(web, u"document.querySelectorAll('ol.messages li b *, ol.messages li .text *').length"_s).toInt(),
             0);

    // Loading the page again does not post again.
    QSignalSpy completed(web, &WebPane::DownloadComplete);
    engineView(web)->reload();
    QVERIFY(completed.wait(TimeoutMs));
    QCOMPARE(evaluate(web, u"document.querySelectorAll('ol.messages li').length"_s).toInt(), 1);
    m_liuyan->unload();
}

QTEST_MAIN(TstWebWindowsSite)
#include "tst_webwindows_site.moc"
