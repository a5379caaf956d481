#include "site/store/StoredPath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// Which stored paths stay inside their folder, links followed.
class TstStoredPath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void staysInside_data();
    void staysInside();

private:
    QTemporaryDir m_root;
};

void TstStoredPath::initTestCase()
{
    // <root>/up holds the files; <root>/secret is outside.
    QDir root(m_root.path());
    QVERIFY(root.mkpath(u"up/2024/01"_s) && root.mkpath(u"elsewhere"_s));
    QVERIFY(QFile(root.filePath(u"up/2024/01/a.txt"_s)).open(QIODevice::WriteOnly));
    QVERIFY(QFile(root.filePath(u"secret"_s)).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(root.filePath(u"secret"_s), root.filePath(u"up/link-out"_s)));
    QVERIFY(QFile::link(root.filePath(u"up/2024/01/a.txt"_s), root.filePath(u"up/link-in"_s)));
    QVERIFY(QFile::link(root.filePath(u"elsewhere"_s), root.filePath(u"up/folder-out"_s)));
    QVERIFY(QFile::link(root.filePath(u"nothing"_s), root.filePath(u"up/dangling"_s)));
}

void TstStoredPath::staysInside_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<bool>("located");  // a regular file inside

    QTest::newRow("file") << u"2024/01/a.txt"_s << true << true;
    QTest::newRow("missing file") << u"2024/01/gone.txt"_s << true << false;
    QTest::newRow("missing folders") << u"2025/07/gone.txt"_s << true << false;
    QTest::newRow("folder") << u"2024"_s << true << false;
    QTest::newRow("dot-dot") << u"../secret"_s << false << false;
    QTest::newRow("deep dot-dot") << u"../../../../../../tmp/x"_s << false << false;
    QTest::newRow("dot-dot in the middle") << u"2024/../../secret"_s << false << false;
    QTest::newRow("absolute") << u"/etc/passwd"_s << false << false;
    QTest::newRow("dot") << u"./2024/01/a.txt"_s << false << false;
    QTest::newRow("empty") << QString() << false << false;
    QTest::newRow("backslash") << u"..\\secret"_s << false << false;
    QTest::newRow("link to a file outside") << u"link-out"_s << false << false;
    QTest::newRow("link to a file inside") << u"link-in"_s << true << true;
    QTest::newRow("through a link to a folder outside") << u"folder-out/x"_s << false << false;
    QTest::newRow("link to nothing") << u"dangling"_s << false << false;
}

void TstStoredPath::staysInside()
{
    QFETCH(QString, path);
    const QString folder = m_root.filePath(u"up"_s);
    QTEST(StoredPath::inside(folder, path).has_value(), "inside");
    QTEST(StoredPath::locate(folder, path).has_value(), "located");
}

QTEST_APPLESS_MAIN(TstStoredPath)
#include "tst_storedpath.moc"
