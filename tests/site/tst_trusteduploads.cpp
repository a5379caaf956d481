#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "support/HttpClient.h"
#include "support/ReferenceSite.h"
#include "support/UploadForm.h"

#include <QDirIterator>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString UserCatalogue = u"wangyou/users_upload.php?page=1"_s;
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
// it comes.
class TstTrustedUploads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameFileIsStoredOnce();

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


QTEST_GUILESS_MAIN(TstTrustedUploads)
#include "tst_trusteduploads.moc"
