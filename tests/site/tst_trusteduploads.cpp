#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "support/HttpClient.h"
#include "support/ReferenceSite.h"
#include "support/UploadForm.h"

#include <QDirIterator>
#include <QProcess>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

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
            && QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=%1"_s.arg(bytes), u"tmpfs"_s,
                                              m_folder.path()})
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
    struct stat status{};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? quint64(status.st_ino) : 0;
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

} // namespace

// Uploads from strangers against the real site program: each file stored once however often
// it comes, and each address's share of the disk bounded.
class TstTrustedUploads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameFileIsStoredOnce();
    void sharesOfASmallDisk();

private:
    // The user catalogue's first page, newest first, read as the client reads it: each entry's
    // fields by ResourceRecord::Field.
    QList<QStringList> userCatalogue();
    // Uploads and returns the new entry's id; 0 when the site did not take it.
    QString upload(const QString &title, const QByteArray &fileName, const QByteArray &data);

    ReferenceSite m_site;
    HttpClient m_http;
};

void TstTrustedUploads::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

QList<QStringList> TstTrustedUploads::userCatalogue()
{
    const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(m_http.get(m_site.root() + UserCatalogue).body), 6);
    QList<QStringList> entries;
    for (const ResourceRecord &record : page.records) {
        QStringList fields;
        for (int k = 0; k <= ResourceRecord::Id; ++k)
            fields.append(record.field(k).toString());
        entries.append(fields);
    }
    return entries;
}

QString TstTrustedUploads::upload(const QString &title, const QByteArray &fileName, const QByteArray &data)
{
    const HttpClient::Reply reply =
        m_http.post(m_site.root() + u"wangyou/"_s, UploadForm::contentType(), UploadForm::body(title, fileName, data));
    if (reply.status != 303)
        return QString();
    return QString::fromUtf8(reply.header("Location")).section(u"?done="_s, 1);
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
    QCOMPARE(std::count_if(before.cbegin(), before.cend(), [&](const QString &file) { return inodeOf(file) == inode; }), 3);
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
    QCOMPARE(std::count_if(after.cbegin(), after.cend(), [&](const QString &file) { return inodeOf(file) == inode; }), 1);
}


// Forwarded for by a trusted proxy, the site's clients are whoever the test says.
void TstTrustedUploads::sharesOfASmallDisk()
{
    SmallDisk disk(40 * MiB);
    if (!disk.isMounted())
        QSKIP("mounting a tmpfs needs root");
    ReferenceSite site;
    site.setExtraArguments({u"--files"_s, disk.path(), u"--upload-quota"_s, u"10"_s, u"--free-space-reserve"_s,
                            u"8"_s, u"--trusted-proxy"_s, u"127.0.0.1"_s});
    QVERIFY2(site.start(), qPrintable(site.errorString()));

    struct Step
    {
        const char *client;
        int mib;
        int status;
    };
    // 4 MiB files, each another's, so that none is stored once for two.
    const QList<Step> quota = {
        {"2001:db8:1:2::5", 4, 303},
        {"2001:db8:1:2::5", 4, 303},
        {"2001:db8:1:2::5", 4, 429},  // 12 MiB would pass its 10
        {"2001:db8:1:2::6", 1, 303},  // the same /64, with room for a small one
        {"2001:db8:1:2::7", 4, 429},
        {"203.0.113.9", 4, 303},      // another client still uploads
    };
    int serial = 0;
    const auto send = [&](const QByteArray &client, int mib) {
        const QByteArray data = QByteArray::number(++serial).leftJustified(mib * MiB, '.');
        return m_http.post(site.root() + u"wangyou/"_s, UploadForm::contentType(),
                           UploadForm::body(u"第%1个"_s.arg(serial), "part.bin", data), {{"X-Forwarded-For", client}});
    };
    for (const Step &step : quota) {
        const HttpClient::Reply reply = send(step.client, step.mib);
        QVERIFY2(reply.status == step.status, qPrintable(u"%1: %2"_s.arg(QString::fromLatin1(step.client)).arg(reply.status)));
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
    QCOMPARE(m_http.post(site.root() + u"nds_wd-nds_wd.html"_s, "application/x-www-form-urlencoded",
                         "name=%E8%80%81%E7%8E%8B&text=%E6%BB%A1%E4%BA%86%E5%90%97")
                 .status,
             303);
    const QStringList files = filesBelow(disk.path() + u"/wangyou/up"_s);
    QVERIFY(!files.isEmpty());
    const HttpClient::Reply download =
        m_http.get(site.root() + u"wangyou/up/"_s + QDir(disk.path() + u"/wangyou/up"_s).relativeFilePath(files.first()));
    QCOMPARE(download.status, 200);
    QCOMPARE(download.body.size(), QFileInfo(files.first()).size());
}

QTEST_GUILESS_MAIN(TstTrustedUploads)
#include "tst_trusteduploads.moc"
