#include "platform/FocusFrameDelegate.h"

#include <QListWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstFocusFrameDelegate : public QObject
{
    Q_OBJECT

private slots:
    void currentItemIsFramedWhileFocused_data();
    void currentItemIsFramedWhileFocused();
};

void TstFocusFrameDelegate::currentItemIsFramedWhileFocused_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QColor>("frame");  // invalid: no frame

    QTest::newRow("current item of the focused list") << true << false << QColor(Qt::darkBlue);
    QTest::newRow("selected as well") << true << true << QColor(Qt::yellow);
    QTest::newRow("list without the focus") << false << false << QColor();
}

void TstFocusFrameDelegate::currentItemIsFramedWhileFocused()
{
    QFETCH(bool, focused);
    QFETCH(bool, selected);
    QFETCH(QColor, frame);

    QListWidget list;
    list.setItemDelegate(new FocusFrameDelegate(&list));
    QPalette colours = list.palette();
    colours.setColor(QPalette::Text, Qt::darkBlue);
    colours.setColor(QPalette::HighlightedText, Qt::yellow);
    list.setPalette(colours);
    list.addItems({u"链接一"_s, u"链接二"_s, u"链接三"_s});
    list.resize(200, 120);
    list.show();
    list.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    list.setFocus();
    list.setCurrentRow(1, selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
    if (!focused)
        list.clearFocus();
    QCOMPARE(list.hasFocus(), focused);
    QCOMPARE(list.item(1)->isSelected(), selected);

    const QImage picture = list.viewport()->grab().toImage();
    const QRect item = list.visualItemRect(list.item(1));
    // The frame's dashes along the item's top edge, past its text.
    int inFrameColour = 0;
    for (int x = item.left(); x < item.right(); ++x)
        inFrameColour += QColor(picture.pixel(x, item.top())) == frame;
    QCOMPARE(inFrameColour > 10, frame.isValid());
}

QTEST_MAIN(TstFocusFrameDelegate)
#include "tst_focusframedelegate.moc"
