#include "windows/CatalogueViewBinding.h"

#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

class TstCatalogueViewBinding : public QObject
{
    Q_OBJECT

private slots:
    void statusLineWordsTheBrowsersStatus_data();
    void statusLineWordsTheBrowsersStatus();
};

void TstCatalogueViewBinding::statusLineWordsTheBrowsersStatus_data()
{
    using Kind = CatalogueStatus::Kind;
    QTest::addColumn<QString>("firstPagePrefix");
    QTest::addColumn<CatalogueStatus>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("official first page") << u"已分享 "_s << CatalogueStatus{Kind::FirstPage, u"125"_s}
                                         << u"已分享 125 个资源"_s;
    QTest::newRow("user first page") << u"已收录 "_s << CatalogueStatus{Kind::FirstPage, u"125"_s}
                                     << u"已收录 125 个资源"_s;
    QTest::newRow("paging") << u"已收录 "_s << CatalogueStatus{Kind::Paging, u"70"_s} << u"当前共有 70 个资源"_s;
    QTest::newRow("search, count shown verbatim")
        << u"已分享 "_s << CatalogueStatus{Kind::Search, u"abc"_s} << u"搜索到 abc 个资源"_s;
    QTest::newRow("server not reached") << u"已分享 "_s << CatalogueStatus{Kind::Unreachable, {}}
                                        << u"连接服务器失败"_s;
}

void TstCatalogueViewBinding::statusLineWordsTheBrowsersStatus()
{
    QFETCH(QString, firstPagePrefix);
    QFETCH(CatalogueStatus, status);
    QFETCH(QString, text);
    QLabel label(u"0"_s);
    CatalogueViewBinding binding({nullptr, &label, nullptr, nullptr, nullptr, nullptr, nullptr}, firstPagePrefix);

    binding.showStatus(status);

    QCOMPARE(label.text(), text);
}

QTEST_MAIN(TstCatalogueViewBinding)
#include "tst_catalogueviewbinding.moc"
