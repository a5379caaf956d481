#include "platform/AsyncReader.h"
#include "platform/ListView.h"
#include "platform/NetworkHttpFetcher.h"
#include "platform/WebPane.h"
#include "progressbar/ProgressBar.h"
#include "windows/Form_fenxiang.h"
#include "windows/Form_liuyan.h"
#include "windows/Form_wangyou.h"

#include "support/FormControls.h"
#include "support/NginxEdge.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingShell.h"
#include "support/TestAuthority.h"
#include "support/TestFiles.h"
#include "support/WangyouControls.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

constexpr int TimeoutMs = 30000;
const QString Untrusted = u"证书不受信任：签发者不是本机信任的证书机构"_s;

}  // namespace

// The client against the site behind nginx over TLS, its certificate from an authority the
// system trusts but the web engine has never heard of, as a community that runs its own does:
// the catalogue, a download and both web windows work. With a certificate from an authority
// nobody trusts, each of them refuses and says why.
class TstClientOverTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void browsesAndDownloadsACheckedFile();
    void webWindowsShowTheSitesPages();
    void anotherAuthorityIsRefusedEverywhere();

private:
    void openWangyou();
    void findHometownAerial();
    void downloadFirstRow();
    // The window's page once loaded; its title, or the refusal put in its place.
    QString pageTitle(WebPaneForm &form);

    QTemporaryDir m_work;
    TestAuthority m_trusted;
    TestAuthority m_unknown;
    NginxEdge::Certificate m_trustedCertificate;
    NginxEdge::Certificate m_unknownCertificate;
    NginxEdge m_edge;
    bool m_edgeTrusted = true;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    NetworkHttpFetcher m_fetcher;
    RecordingShell m_shell;
    RecordingMessageBox m_messageBox;
    std::unique_ptr<Form_wangyou> m_wangyou;
};

void TstClientOverTls::initTestCase()
{
    QVERIFY2(m_trusted.create(m_work.path(), u"community-ca"_s), qPrintable(m_trusted.errorString()));
    QVERIFY2(m_unknown.create(m_work.path(), u"unknown-ca"_s), qPrintable(m_unknown.errorString()));
    const TestAuthority::Issued trusted = m_trusted.issue(u"site"_s, {u"127.0.0.1"_s});
    const TestAuthority::Issued unknown = m_unknown.issue(u"impostor"_s, {u"127.0.0.1"_s});
    QVERIFY2(!trusted.certificate.isEmpty(), qPrintable(m_trusted.errorString()));
    QVERIFY2(!unknown.certificate.isEmpty(), qPrintable(m_unknown.errorString()));
    m_trustedCertificate = {trusted.certificate, trusted.key};
    m_unknownCertificate = {unknown.certificate, unknown.key};

    // As an authority installed in the system's store is to Qt Network, for this process alone.
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(m_trusted.certificate());
    QSslConfiguration::setDefaultConfiguration(configuration);

    const QString started = m_edge.start(m_work.path(), {u"--trusted-proxy"_s, u"127.0.0.1"_s}, 1, {},
                                         m_trustedCertificate);
    QVERIFY2(started.isEmpty(), qPrintable(started));
}

void TstClientOverTls::init()
{
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_shell = RecordingShell();
    m_messageBox = RecordingMessageBox();
}

void TstClientOverTls::cleanup()
{
    m_wangyou.reset();
    if (!m_edgeTrusted) {
        const QString restarted = m_edge.restartWith(m_trustedCertificate);
        QVERIFY2(restarted.isEmpty(), qPrintable(restarted));
        m_edgeTrusted = true;
    }
}

void TstClientOverTls::openWangyou()
{
    m_wangyou = std::make_unique<Form_wangyou>(m_edge.url(QString()), ProgramFolder(m_programFolder->path()), m_fetcher,
                                               m_shell, m_messageBox, [] { return std::make_unique<AsyncReader>(); });
    m_wangyou->show();
    auto *list = control<ListView>(*m_wangyou, u"ListView"_s);
    QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(), 10, TimeoutMs);
}

void TstClientOverTls::findHometownAerial()
{
    QCOMPARE(searchUserCatalogue(*m_wangyou, u"航拍"_s, u"家乡 航拍 小片"_s), 0);
}

void TstClientOverTls::downloadFirstRow()
{
    doubleClickRow(*m_wangyou, 0);
    QTRY_VERIFY_WITH_TIMEOUT(control<ProgressBar>(*m_wangyou, u"ProgressBar1"_s)->isHidden(), TimeoutMs);
}

QString TstClientOverTls::pageTitle(WebPaneForm &form)
{
    form.show();
    auto *web = form.window()->findChild<WebPane *>(u"web"_s);
    QSignalSpy completed(web, &WebPane::DownloadComplete);
    QSignalSpy refused(web, &WebPane::CertificateRefused);
    if (!completed.wait(TimeoutMs))
        return {};
    // A refused page is followed by the page that says why.
    if (!refused.isEmpty() && !completed.wait(TimeoutMs))
        return {};
    const QString title = web->title();
    form.unload();
    return title;
}

void TstClientOverTls::browsesAndDownloadsACheckedFile()
{
    openWangyou();
    const QString status = control<QLabel>(*m_wangyou, u"JiLu_Text"_s)->text();
    QVERIFY2(status.startsWith(u"已收录 "_s), qPrintable(status));

    findHometownAerial();
    downloadFirstRow();
    QVERIFY2(m_messageBox.boxes.isEmpty(), qPrintable(m_messageBox.boxes.value(0).text));
    const QString address = u"2024/06/hometown-aerial.mp4"_s;
    const QByteArray served = readFile(m_work.filePath(u"files/wangyou/up/"_s + address));
    QVERIFY(served.size() > 1024 * 1024);
    QCOMPARE(readFile(m_programFolder->path() + u"/Xiazai/家乡 航拍 小片/"_s + address), served);
    // nginx sent it with the digest the site named, and the row says it was checked.
    auto *list = control<ListView>(*m_wangyou, u"ListView"_s);
    QCOMPARE(list->model()->index(0, 1).data(Qt::ToolTipRole).toString(), u"已校验"_s);
    QCOMPARE(list->model()->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(), u"已校验"_s);
}

void TstClientOverTls::webWindowsShowTheSitesPages()
{
    Form_fenxiang fenxiang(m_edge.url(QString()));
    Form_liuyan liuyan(m_edge.url(QString()));
    QCOMPARE(pageTitle(fenxiang), u"资源分享 - Quillmere"_s);
    QCOMPARE(pageTitle(liuyan), u"留言板 - Quillmere"_s);
}

void TstClientOverTls::anotherAuthorityIsRefusedEverywhere()
{
    openWangyou();
    findHometownAerial();
    const QString restarted = m_edge.restartWith(m_unknownCertificate);
    QVERIFY2(restarted.isEmpty(), qPrintable(restarted));
    m_edgeTrusted = false;

    downloadFirstRow();
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].text, u"下载失败!\n"_s + Untrusted);
    QTest::mouseClick(control<QPushButton>(*m_wangyou, u"shuaxin"_s), Qt::LeftButton);
    auto *status = control<QLabel>(*m_wangyou, u"JiLu_Text"_s);
    QCOMPARE(status->text(), u"连接服务器失败"_s);
    QCOMPARE(status->toolTip(), Untrusted);

    Form_fenxiang fenxiang(m_edge.url(QString()));
    Form_liuyan liuyan(m_edge.url(QString()));
    QCOMPARE(pageTitle(fenxiang), Untrusted);
    QCOMPARE(pageTitle(liuyan), Untrusted);
}

QTEST_MAIN(TstClientOverTls)
#include "tst_client_over_tls.moc"
