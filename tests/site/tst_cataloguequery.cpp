#include "site/CatalogueQuery.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;
using Field = SearchField;

// The query a catalogue address asks for, and the key its answer is kept under.
class TstCatalogueQuery : public QObject
{
    Q_OBJECT

private slots:
    void readsTheQuery_data();
    void readsTheQuery();
    void sameQuerySameKey_data();
    void sameQuerySameKey();
};

void TstCatalogueQuery::readsTheQuery_data()
{
    QTest::addColumn<Catalogue>("catalogue");
    QTest::addColumn<QByteArray>("queryString");
    QTest::addColumn<qint64>("page");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<Field>("field");

    const auto official = Catalogue::Official;
    const auto user = Catalogue::User;
    QTest::newRow("nothing") << official << QByteArray() << 1ll << QString() << Field::Title;
    QTest::newRow("page") << user << QByteArray("page=7") << 7ll << QString() << Field::Anywhere;
    QTest::newRow("zero page") << user << QByteArray("page=0") << 1ll << QString() << Field::Anywhere;
    QTest::newRow("negative page") << user << QByteArray("page=-3") << 1ll << QString() << Field::Anywhere;
    QTest::newRow("unreadable page") << user << QByteArray("page=2x") << 1ll << QString() << Field::Anywhere;
    QTest::newRow("page past 32 bits") << user << QByteArray("page=2147483648") << 1ll << QString() << Field::Anywhere;
    QTest::newRow("plus stays plus") << user << QByteArray("q=c++") << 1ll << u"c++"_s << Field::Anywhere;
    QTest::newRow("escaped utf-8") << user << QByteArray("q=%E6%B8%B8%20%E6%88%8F") << 1ll << u"游 戏"_s
                                   << Field::Anywhere;
    QTest::newRow("escaped delimiters") << user << QByteArray("q=a%26page%3D3") << 1ll << u"a&page=3"_s
                                        << Field::Anywhere;
    QTest::newRow("category") << official << QByteArray("t=0&q=x&page=2") << 2ll << u"x"_s << Field::Category;
    QTest::newRow("user ignores the field") << user << QByteArray("t=0") << 1ll << QString() << Field::Anywhere;
}

void TstCatalogueQuery::readsTheQuery()
{
    QFETCH(Catalogue, catalogue);
    QFETCH(QByteArray, queryString);
    const CatalogueQuery query = CatalogueQuery::parse(catalogue, queryString);
    QCOMPARE(query.catalogue, catalogue);
    QTEST(query.page, "page");
    QTEST(query.keyword, "keyword");
    QTEST(query.field, "field");
}

void TstCatalogueQuery::sameQuerySameKey_data()
{
    QTest::addColumn<Catalogue>("catalogueA");
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<Catalogue>("catalogueB");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");

    const auto official = Catalogue::Official;
    const auto user = Catalogue::User;
    QTest::newRow("order and strangers") << user << QByteArray("page=2&q=a") << user << QByteArray("x=1&q=a&page=02&y")
                                         << true;
    QTest::newRow("bad page is page 1") << user << QByteArray("page=zz") << user << QByteArray() << true;
    QTest::newRow("escaped or not") << user << QByteArray("q=%61b") << user << QByteArray("q=ab") << true;
    QTest::newRow("title either way") << official << QByteArray("t=1") << official << QByteArray("t=9") << true;
    QTest::newRow("another keyword") << user << QByteArray("q=a") << user << QByteArray("q=b") << false;
    QTest::newRow("another field") << official << QByteArray("t=0") << official << QByteArray("t=1") << false;
    QTest::newRow("another catalogue") << official << QByteArray() << user << QByteArray() << false;
}

void TstCatalogueQuery::sameQuerySameKey()
{
    QFETCH(Catalogue, catalogueA);
    QFETCH(QByteArray, a);
    QFETCH(Catalogue, catalogueB);
    QFETCH(QByteArray, b);
    QFETCH(bool, same);
    QCOMPARE(CatalogueQuery::parse(catalogueA, a).key() == CatalogueQuery::parse(catalogueB, b).key(), same);
}

QTEST_GUILESS_MAIN(TstCatalogueQuery)
#include "tst_cataloguequery.moc"
