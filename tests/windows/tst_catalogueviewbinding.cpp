#include "windows/CatalogueViewBinding.h"

#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

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
    QTest::addColumn<QString>("reason");

    QTest::newRow("official first page") << u"已分享 "_s << CatalogueStatus{Kind::FirstPage, u"125"_s, {}}
                                         << u"已分享 125 个资源"_s << QString();
    QTest::newRow("user first page") << u"已收录 "_s << CatalogueStatus{Kind::FirstPage, u"125"_s, {}}
                                     << u"已收录 125 个资源"_s << QString();
    QTest::newRow("paging") << u"已收录 "_s << CatalogueStatus{Kind::Paging, u"70"_s, {}} << u"当前共有 70 个资源"_s
                            << QString();
    QTest::newRow("search, count shown verbatim")
        << u"已分享 "_s << CatalogueStatus{Kind::Search, u"abc"_s, {}} << u"搜索到 abc 个资源"_s << QString();
    QTest::newRow("server not reached")
        << u"已分享 "_s
        << CatalogueStatus{Kind::Unreachable, {}, TransferError{TransferError::Kind::HostNotFound, 0, u"x.invalid"_s, {}}}
        << u"连接服务器失败"_s << u"找不到服务器 x.invalid"_s;
}

// The line keeps its words; why the server was not reached is its tooltip and description.
void TstCatalogueViewBinding::statusLineWordsTheBrowsersStatus()
{
    QFETCH(QString, firstPagePrefix);
    QFETCH(CatalogueStatus, status);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QLabel label(u"0"_s);
    label.setToolTip(u"连接被拒绝"_s);
    CatalogueViewBinding binding({nullptr, &label, nullptr, nullptr, nullptr, nullptr, nullptr}, firstPagePrefix);

    binding.showStatus(status);

    QCOMPARE(label.text(), text);
    QCOMPARE(label.toolTip(), reason);
    QCOMPARE(label.accessibleDescription(), reason);
}

QTEST_MAIN(TstCatalogueViewBinding)
#include "tst_catalogueviewbinding.moc"
