#include "catalogue/CatalogueProtocol.h"
#include "support/CatalogueText.h"
#include "support/HttpClient.h"
#include "support/LocalClamd.h"
#include "support/ReferenceSite.h"
#include "support/TestFiles.h"
#include "support/UploadForm.h"

#include <QProcess>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

const QString UserCatalogue = u"wangyou/users_upload.php?page=1"_s;
constexpr qint64 MiB = 1024 * 1024;

// A file system of its own, of that size, mounted on a folder while the object lives.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes)
    {
        m_mounted = m_folder.isValid()
            && QProcess::execute(u"mount"_s,
                                 {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=%1"_s.arg(bytes), u"tmpfs"_s, m_folder.path()})
                == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(u"umount"_s, {u"--lazy"_s, m_folder.path()});
    }
    bool isMounted() const { return m_mounted; }
    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    bool m_mounted = false;
};

// The file's inode: names that share one share their bytes. 0 when there is no such file.
quint64 inodeOf(const QString &path)
{
    struct stat status
    { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? quint64(status.st_ino) : 0;
}

// Whether any file below the folder holds exactly these bytes.
bool holdsBytes(const QString &folder, const QByteArray &bytes)
{
    const QStringList files = filesBelow(folder);
    return std::any_of(files.cbegin(), files.cend(), [&](const QString &path) {
        QFile file(folder + u'/' + path);
        return file.size() == bytes.size() && file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
    });
}

}  // namespace

// Uploads from strangers against the real site program and a real clamd: scanned before
// anyone can fetch them, each file stored once however often it comes, and each address's
// share of the disk bounded.
class TstTrustedUploads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scannedBeforeStored_data();
    void scannedBeforeStored();
    void scannerDown_data();
    void scannerDown();
    void newSignaturesReachStoredFiles();
    void sameFileIsStoredOnce();
    void sharesOfASmallDisk();

private:
    // The user catalogue's first page, newest first, read as the client reads it: each entry's
    // fields by ResourceRecord::Field.
    QList<QStringList> userCatalogue();
    bool listedAnywhere(const QString &title);
    // Uploads and returns the new entry's id; empty when the site did not take it.
    QString upload(const QString &title, const QByteArray &fileName, const QByteArray &data);
    HttpClient::Reply post(const QString &title, const QByteArray &fileName, const QByteArray &data);
    // What the site wrote to standard error since it started.
    QString siteLog() const { return QString::fromUtf8(readFile(m_errors.filePath(u"site.err"_s))); }
    bool restartSite(const QStringList &arguments);

    LocalClamd m_clamd;
    QTemporaryDir m_errors;
    ReferenceSite m_site;
    HttpClient m_http;
};

void TstTrustedUploads::initTestCase()
{
    QVERIFY2(m_clamd.start(), qPrintable(m_clamd.errorString()));
    m_site.setErrorFile(m_errors.filePath(u"site.err"_s));
    QVERIFY(restartSite({}));
}

bool TstTrustedUploads::restartSite(const QStringList &arguments)
{
    m_site.stop();
    m_site.setExtraArguments(QStringList{u"--scan"_s, m_clamd.address()} + arguments);
    return m_site.start();
}

bool TstTrustedUploads::listedAnywhere(const QString &title)
{
    const QByteArray official = m_http.get(m_site.root() + u"guanfang/admin_upload.php?page=1"_s).body;
    const QByteArray user = m_http.get(m_site.root() + UserCatalogue).body;
    return official.contains(title.toUtf8()) || user.contains(title.toUtf8());
}

HttpClient::Reply TstTrustedUploads::post(const QString &title, const QByteArray &fileName, const QByteArray &data)
{
    return m_http.post(m_site.root() + u"wangyou/"_s, UploadForm::contentType(), UploadForm::body(title, fileName, data));
}

QList<QStringList> TstTrustedUploads::userCatalogue()
{
    return catalogueEntries(m_http.get(m_site.root() + UserCatalogue).body, 6);
}

QString TstTrustedUploads::upload(const QString &title, const QByteArray &fileName, const QByteArray &data)
{
    const HttpClient::Reply reply = post(title, fileName, data);
    if (reply.status != 303)
        return QString();
    return QString::fromUtf8(reply.header("Location")).section(u"?done="_s, 1);
}

void TstTrustedUploads::scannedBeforeStored_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("stored");

    QTest::newRow("clean: stored and shown") << u"干净的工具"_s << "a perfectly ordinary tool\n"_ba << true;
    QTest::newRow("EICAR: refused, nothing kept") << u"免费激活工具"_s << LocalClamd::eicar() << false;
}

void TstTrustedUploads::scannedBeforeStored()
{
    QFETCH(QString, title);
    QFETCH(QByteArray, data);
    QFETCH(bool, stored);

    const HttpClient::Reply reply = post(title, "tool.com", data);
    QCOMPARE(reply.status, stored ? 303 : 422);
    QCOMPARE(listedAnywhere(title), stored);
    QCOMPARE(holdsBytes(m_site.dataPath(), data), stored);
    if (stored) {
        const QString address = userCatalogue().first().at(ResourceRecord::DownloadAddress);
        QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + address).body, data);
        return;
    }
    QVERIFY(reply.text().contains(u"文件未通过病毒扫描"_s));
    QVERIFY(reply.text().contains(title));  // what was typed stays in the form
    // One line for the operator, with the signature and the sender.
    const QStringList lines = siteLog().split(u'\n').filter(LocalClamd::reported(LocalClamd::EicarSignature));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(u"warning: 127.0.0.1: "_s), qPrintable(lines.first()));
}

void TstTrustedUploads::scannerDown_data()
{
    QTest::addColumn<QString>("choice");
    QTest::newRow("refused") << u"refuse"_s;
    QTest::newRow("held until a scan passes") << u"hold"_s;
}

// Bytes a scan found are refused by their hash while clamd is away; others wait for it, as chosen.
void TstTrustedUploads::scannerDown()
{
    QFETCH(QString, choice);
    QVERIFY(restartSite({u"--scan-unavailable"_s, choice}));
    QCOMPARE(post(u"病毒"_s, "eicar.com", LocalClamd::eicar()).status, 422);
    m_clamd.stop();
    const HttpClient::Reply again = post(u"又是病毒"_s, "eicar.com", LocalClamd::eicar());
    QCOMPARE(again.status, 422);
    QVERIFY(again.text().contains(u"文件未通过病毒扫描"_s));

    const QString title = u"扫描不了的文件 "_s + choice;
    const QByteArray data = "nobody could look at this one: " + choice.toUtf8();
    const HttpClient::Reply reply = post(title, "later.txt", data);
    QVERIFY2(m_clamd.start(), qPrintable(m_clamd.errorString()));
    QVERIFY(!listedAnywhere(title));
    if (choice == u"refuse"_s) {
        QCOMPARE(reply.status, 503);
        QVERIFY(reply.header("Retry-After").toInt() > 0);
        QVERIFY(reply.text().contains(u"暂时无法检查文件是否安全"_s));
        QVERIFY(!holdsBytes(m_site.dataPath(), data));
        return;
    }
    QCOMPARE(reply.status, 303);
    QCOMPARE(reply.header("Location"), (m_site.root() + u"wangyou/?held=1"_s).toUtf8());
    QVERIFY(m_http.get(QString::fromUtf8(reply.header("Location"))).text().contains(u"等待病毒扫描"_s));
    const ReferenceSite::CommandRun held = m_site.command({u"list"_s, u"held"_s});
    QCOMPARE(held.exitCode, 0);
    QVERIFY2(held.out.contains(title), qPrintable(held.out));

    const ReferenceSite::CommandRun scan = m_site.command({u"scan"_s, u"--scan"_s, m_clamd.address()});
    QVERIFY2(scan.exitCode == 0, qPrintable(scan.err));
    QVERIFY2(scan.out.contains(u"1 published, 0 dropped"_s), qPrintable(scan.out));
    QVERIFY(listedAnywhere(title));
    const QStringList newest = userCatalogue().first();
    QCOMPARE(newest.at(ResourceRecord::Title), title);
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + newest.at(ResourceRecord::DownloadAddress)).body, data);
    QVERIFY(m_site.command({u"list"_s, u"held"_s}).out.isEmpty());
}

// A file stored while no signature knew it is hidden, with every entry that shares it, once one does.
void TstTrustedUploads::newSignaturesReachStoredFiles()
{
    QVERIFY(restartSite({}));
    const QByteArray old = "looked harmless when it came\n";
    const QStringList ids = {upload(u"老文件"_s, "old.bin", old), upload(u"老文件（转）"_s, "old-copy.bin", old)};
    const QString kept = upload(u"无辜的文件"_s, "innocent.bin", "nothing to see");
    QVERIFY(!ids.contains(QString()) && !kept.isEmpty());
    const QString address = userCatalogue().at(1).at(ResourceRecord::DownloadAddress);

    m_clamd.addSignature(u"Test-Old-File"_s, old);
    QVERIFY2(m_clamd.start(), qPrintable(m_clamd.errorString()));
    const ReferenceSite::CommandRun scan = m_site.command({u"scan"_s, u"--scan"_s, m_clamd.address()});
    QVERIFY2(scan.exitCode == 0, qPrintable(scan.err));
    QVERIFY2(scan.out.contains(u" 1 found, 2 entries hidden"_s), qPrintable(scan.out));
    const QString signature = LocalClamd::reported(u"Test-Old-File"_s);
    QVERIFY2(scan.err.contains(signature) && scan.err.contains(u"127.0.0.1"_s), qPrintable(scan.err));

    QVERIFY(!listedAnywhere(u"老文件"_s));
    QVERIFY(listedAnywhere(u"无辜的文件"_s));
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + address).status, 404);
    const QStringList listed = m_site.command({u"list"_s, u"resources"_s, u"--search"_s, u"老文件"_s}).out.split(u'\n');
    QCOMPARE(listed.filter(u"\tfound:"_s + signature + u"\thidden"_s).size(), 2);
    QVERIFY(m_site.command({u"log"_s})
                .out.contains(u"hide resource %1 %2 (scan found %3)"_s.arg(ids.at(1), ids.at(0), signature)));
    // And refused by its hash when it comes again.
    QCOMPARE(post(u"老文件又来了"_s, "old.bin", old).status, 422);
}

void TstTrustedUploads::sameFileIsStoredOnce()
{
    const QByteArray data = QByteArray("the same installer, byte for byte\n").repeated(1000);
    const QStringList titles = {u"安装包"_s, u"安装包（镜像）"_s, u"同一个安装包"_s};
    const QList<QByteArray> names = {"setup.exe", "setup-mirror.exe", "setup.exe"};
    QStringList ids;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        ids.append(upload(titles.at(i), names.at(i), data));
        QVERIFY2(!ids.last().isEmpty(), qPrintable(titles.at(i)));
    }

    // Three entries, each with its own title and address, one file behind them.
    QHash<QString, QString> addressOf;
    for (const QStringList &entry : userCatalogue()) {
        if (ids.contains(entry.at(ResourceRecord::Id)))
            addressOf.insert(entry.at(ResourceRecord::Id), entry.at(ResourceRecord::DownloadAddress));
    }
    QCOMPARE(addressOf.size(), 3);
    QCOMPARE(QSet<QString>(addressOf.cbegin(), addressOf.cend()).size(), 3);
    const QString uploads = m_site.dataPath() + u"/wangyou/up/"_s;
    const quint64 inode = inodeOf(uploads + addressOf.value(ids.at(0)));
    QVERIFY(inode != 0);
    const QStringList before = filesBelow(uploads);
    QCOMPARE(std::count_if(before.cbegin(), before.cend(),
                           [&](const QString &file) { return inodeOf(uploads + file) == inode; }),
             3);
    for (const QString &id : std::as_const(ids))
        QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + addressOf.value(id)).body, data);

    // Removing two leaves the third whole; the removed ones are gone for good.
    QCOMPARE(m_site.command({u"remove"_s, u"resource"_s, ids.at(0), ids.at(2), u"--yes"_s}).exitCode, 0);
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + addressOf.value(ids.at(0))).status, 410);
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + addressOf.value(ids.at(2))).status, 410);
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + addressOf.value(ids.at(1))).body, data);
    QCOMPARE(filesBelow(uploads).size(), before.size() - 2);
    QCOMPARE(inodeOf(uploads + addressOf.value(ids.at(1))), inode);

    // Another file of the same size is another file.
    const QString other = upload(u"另一个"_s, "setup.exe", QByteArray(data).replace(0, 3, "THE"));
    QVERIFY(!other.isEmpty());
    QCOMPARE(filesBelow(uploads).size(), before.size() - 1);
    const QStringList after = filesBelow(uploads);
    QCOMPARE(std::count_if(after.cbegin(), after.cend(),
                           [&](const QString &file) { return inodeOf(uploads + file) == inode; }),
             1);
}

// Forwarded for by a trusted proxy, the site's clients are whoever the test says.
void TstTrustedUploads::sharesOfASmallDisk()
{
    SmallDisk disk(40 * MiB);
    if (!disk.isMounted())
        QSKIP("mounting a tmpfs needs root");
    ReferenceSite site;
    site.setExtraArguments({u"--files"_s, disk.path(), u"--upload-quota"_s, u"10"_s, u"--free-space-reserve"_s, u"8"_s,
                            u"--trusted-proxy"_s, u"127.0.0.1"_s});
    QVERIFY2(site.start(), qPrintable(site.errorString()));

    struct Step
    {
        const char *client;
        int mib;
        int status;
    };
    // 4 MiB files, each another's, so that none is stored once for two.
    const QList<Step> quota = {
        {"2001:db8:1:2::5", 4, 303}, {"2001:db8:1:2::5", 4, 303},
        {"2001:db8:1:2::5", 4, 429},                           // 12 MiB would pass its 10
        {"2001:db8:1:2::6", 1, 303},                           // the same /64, with room for a small one
        {"2001:db8:1:2::7", 4, 429}, {"203.0.113.9", 4, 303},  // another client still uploads
    };
    int serial = 0;
    const auto send = [&](const QByteArray &client, int mib) {
        const QByteArray data = QByteArray::number(++serial).leftJustified(mib * MiB, '.');
        return m_http.post(site.root() + u"wangyou/"_s, UploadForm::contentType(),
                           UploadForm::body(u"第%1个"_s.arg(serial), "part.bin", data), {{"X-Forwarded-For", client}});
    };
    for (const Step &step : quota) {
        const HttpClient::Reply reply = send(step.client, step.mib);
        QVERIFY2(reply.status == step.status,
                 qPrintable(u"%1: %2"_s.arg(QString::fromLatin1(step.client)).arg(reply.status)));
        if (step.status == 429) {
            QVERIFY(reply.text().contains(u"今天上传的文件已达上限"_s));
            QVERIFY(reply.header("Retry-After").toLongLong() > 0);
        }
    }

    // Clients of their own, each within its share, fill the disk down to its reserve and no further.
    HttpClient::Reply refused;
    for (int client = 10; client < 30 && refused.status == 0; ++client) {
        const HttpClient::Reply reply = send("203.0.113." + QByteArray::number(client), 4);
        if (reply.status != 303)
            refused = reply;
    }
    QCOMPARE(refused.status, 507);
    QVERIFY(refused.text().contains(u"服务器空间不足，请稍后再试"_s));
    QVERIFY2(QStorageInfo(disk.path()).bytesAvailable() >= 8 * MiB,
             qPrintable(QString::number(QStorageInfo(disk.path()).bytesAvailable())));
    // Messages and downloads go on.
    QCOMPARE(m_http
                 .post(site.root() + u"nds_wd-nds_wd.html"_s, "application/x-www-form-urlencoded",
                       "name=%E8%80%81%E7%8E%8B&text=%E6%BB%A1%E4%BA%86%E5%90%97")
                 .status,
             303);
    const QStringList files = filesBelow(disk.path() + u"/wangyou/up"_s);
    QVERIFY(!files.isEmpty());
    const HttpClient::Reply download = m_http.get(site.root() + u"wangyou/up/"_s + files.first());
    QCOMPARE(download.status, 200);
    QCOMPARE(download.body.size(), QFileInfo(disk.path() + u"/wangyou/up/"_s + files.first()).size());
}

QTEST_GUILESS_MAIN(TstTrustedUploads)
#include "tst_trusteduploads.moc"
