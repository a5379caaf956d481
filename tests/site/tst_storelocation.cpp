#include "site/store/StoreLocation.h"

#include <QSqlDatabase>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

class TstStoreLocation : public QObject
{
    Q_OBJECT

private slots:
    void addressesAreRead_data();
    void addressesAreRead();
};

void TstStoreLocation::addressesAreRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");    // empty when refused
    QTest::addColumn<QString>("options");  // what libpq is given besides host, port, user and database

    QTest::newRow("sqlite file") << u"sqlite:/srv/site/site.sqlite"_s << u"sqlite:/srv/site/site.sqlite"_s << QString();
    QTest::newRow("sqlite without a path") << u"sqlite:"_s << QString() << QString();
    QTest::newRow("server") << u"postgresql://quillmere@db.example.org:5433/site"_s
                            << u"postgresql://quillmere@db.example.org:5433/site"_s << QString();
    QTest::newRow("short scheme") << u"postgres://quillmere@db/site"_s << u"postgresql://quillmere@db/site"_s
                                  << QString();
    QTest::newRow("password never shown")
        << u"postgresql://quillmere:s3cret@db/site"_s << u"postgresql://quillmere@db/site"_s << QString();
    QTest::newRow("socket folder") << u"postgresql:///site?host=/run/postgresql&port=5433"_s
                                   << u"postgresql:///site?host=/run/postgresql&port=5433"_s << QString();
    QTest::newRow("further settings quoted")
        << u"postgresql://db/site?sslmode=require&application_name=it's"_s << u"postgresql://db/site"_s
        << u"sslmode='require';application_name='it\\'s'"_s;
    QTest::newRow("a setting may not end the others")
        << u"postgresql://db/site?sslmode=a;host=evil"_s << QString() << QString();
    QTest::newRow("another database") << u"mysql://db/site"_s << QString() << QString();
    QTest::newRow("a bare path") << u"/srv/site/site.sqlite"_s << QString() << QString();
}

void TstStoreLocation::addressesAreRead()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, options);

    const auto location = StoreLocation::parse(text);
    QCOMPARE(location.ok(), !shown.isEmpty());
    if (!location) {
        QVERIFY(!location.error().text.isEmpty());
        return;
    }
    QCOMPARE(location->displayName(), shown);
    QSqlDatabase db = QSqlDatabase::addDatabase(location->driverName(), u"probe"_s);
    location->configure(db);
    QCOMPARE(db.connectOptions(), options);
    if (text.contains(u"s3cret"_s))
        QCOMPARE(db.password(), u"s3cret"_s);
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"probe"_s);
}

QTEST_GUILESS_MAIN(TstStoreLocation)
#include "tst_storelocation.moc"
