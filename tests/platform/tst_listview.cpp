#include "platform/ListView.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

using Columns = QList<std::pair<int, int>>;  // (position, width) of columns added

class TstListView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void columnsHaveWidthsAndZeroHides_data();
    void columnsHaveWidthsAndZeroHides();
    void rowsAndCellsReadBackBeforeAndAfterTheViewSeesThem();
    void refillReplacesTheRows();
    void cellsOutsideTheListAreIgnored();
    void clickReportsTheRowAndDoubleClickOnlyOverARow();
    void keyboardMovesActAsClicksAndEnterOnARow();
    void keysActOnTheRowFramedOnFocus_data();
    void keysActOnTheRowFramedOnFocus();
    void currentRowIsFramedWhileFocused_data();
    void currentRowIsFramedWhileFocused();

private:
    QPoint centreOfRow(int row) const;
    std::unique_ptr<ListView> m_view;
};

void TstListView::init()
{
    m_view = std::make_unique<ListView>();
    m_view->resize(400, 300);
    m_view->removeAllColumns();
    m_view->addColumn(0, u"分类"_s, 80);
    m_view->addColumn(1, u"标题"_s, 200);
    m_view->addColumn(2, u"下载地址"_s, 0);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TstListView::cleanup()
{
    m_view.reset();
}

QPoint TstListView::centreOfRow(int row) const
{
    return m_view->visualRect(m_view->model()->index(row, 1)).center();
}

void TstListView::columnsHaveWidthsAndZeroHides_data()
{
    QTest::addColumn<Columns>("added");  // after 分类, 标题, 下载地址
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("addressColumn");

    QTest::newRow("as built") << Columns{} << QStringList{u"分类"_s, u"标题"_s} << QList<int>{80, 200} << 2;
    QTest::newRow("hidden column in front")
        << Columns{{0, 0}} << QStringList{u"分类"_s, u"标题"_s} << QList<int>{80, 200} << 3;
    QTest::newRow("shown column after a hidden one")
        << Columns{{3, 60}} << QStringList{u"分类"_s, u"标题"_s, u"列3"_s} << QList<int>{80, 200, 60} << 2;
    QTest::newRow("shown column in front")
        << Columns{{0, 50}, {9, 0}} << QStringList{u"列0"_s, u"分类"_s, u"标题"_s} << QList<int>{50, 80, 200} << 3;
}

void TstListView::columnsHaveWidthsAndZeroHides()
{
    QFETCH(Columns, added);
    QFETCH(QStringList, seen);
    QFETCH(QList<int>, widths);
    QFETCH(int, addressColumn);

    m_view->addRow(0, u"软件"_s);
    m_view->setCellText(0, 1, u"标题"_s);
    m_view->setCellText(0, 2, u"x.zip"_s);
    for (const auto &[position, width] : added)
        m_view->addColumn(position, u"列%1"_s.arg(position), width);
    QTRY_COMPARE(m_view->model()->rowCount(), 1);

    // The view, and a screen reader with it, meets only the shown columns; the program still
    // reads every cell, the columns in front having moved the others with their cells.
    QStringList headers;
    QList<int> shownWidths;
    for (int column = 0; column < m_view->model()->columnCount(); ++column) {
        headers.append(m_view->model()->headerData(column, Qt::Horizontal).toString());
        shownWidths.append(m_view->columnWidth(column));
        QVERIFY(m_view->model()->index(0, column).data().toString() != u"x.zip"_s);
    }
    QCOMPARE(headers, seen);
    QCOMPARE(shownWidths, widths);
    QCOMPARE(m_view->cellText(0, addressColumn), u"x.zip"_s);
    QCOMPARE(m_view->cellText(0, addressColumn - 1), u"标题"_s);
    QCOMPARE(m_view->palette().color(QPalette::Base), QColor(Qt::white));
}

void TstListView::rowsAndCellsReadBackBeforeAndAfterTheViewSeesThem()
{
    for (int row = 0; row < 1000; ++row) {
        QCOMPARE(m_view->itemCount(), row);
        m_view->addRow(m_view->itemCount(), u"软件"_s);
        m_view->setCellText(row, 1, u"标题 %1"_s.arg(row));
        m_view->setCellText(row, 2, u"x%1.zip"_s.arg(row));
    }
    QCOMPARE(m_view->cellText(999, 1), u"标题 999"_s);

    QTRY_COMPARE(m_view->model()->rowCount(), 1000);
    QCOMPARE(m_view->model()->index(500, 1).data().toString(), u"标题 500"_s);

    // A row inserted in the middle of rows the view already shows.
    m_view->addRow(1, u"音乐"_s);
    QCOMPARE(m_view->model()->rowCount(), 1001);
    QCOMPARE(m_view->cellText(1, 0), u"音乐"_s);
    QCOMPARE(m_view->cellText(2, 1), u"标题 1"_s);
    m_view->setCellText(1, 1, u"新"_s);
    QCOMPARE(m_view->model()->index(1, 1).data().toString(), u"新"_s);
}

void TstListView::refillReplacesTheRows()
{
    for (int row = 0; row < 50; ++row)
        m_view->addRow(row, u"old"_s);
    QTRY_COMPARE(m_view->model()->rowCount(), 50);

    m_view->clearRows();
    QCOMPARE(m_view->itemCount(), 0);
    QCOMPARE(m_view->model()->rowCount(), 0);
    m_view->addRow(0, u"new"_s);
    QTRY_COMPARE(m_view->model()->rowCount(), 1);
    QCOMPARE(m_view->model()->index(0, 0).data().toString(), u"new"_s);
}

void TstListView::cellsOutsideTheListAreIgnored()
{
    m_view->addRow(0, u"a"_s);
    m_view->setCellText(5, 1, u"x"_s);
    m_view->setCellText(0, 7, u"x"_s);
    m_view->setCellText(-1, 0, u"x"_s);
    QCOMPARE(m_view->itemCount(), 1);
    QCOMPARE(m_view->cellText(-1, 0), QString());
    QCOMPARE(m_view->cellText(3, 1), QString());
    QCOMPARE(m_view->cellText(0, 9), QString());
}

void TstListView::clickReportsTheRowAndDoubleClickOnlyOverARow()
{
    for (int row = 0; row < 3; ++row)
        m_view->addRow(row, u"r%1"_s.arg(row));
    QTRY_COMPARE(m_view->model()->rowCount(), 3);
    QSignalSpy clicks(m_view.get(), &ListView::ItemClick);
    QSignalSpy doubleClicks(m_view.get(), &ListView::DblClick);

    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centreOfRow(2));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), 2);
    QCOMPARE(m_view->selectionModel()->selectedRows().size(), 1);

    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, centreOfRow(1));
    QCOMPARE(doubleClicks.count(), 1);

    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(100, 280));
    QCOMPARE(doubleClicks.count(), 1);
}

void TstListView::keyboardMovesActAsClicksAndEnterOnARow()
{
    for (int row = 0; row < 40; ++row)
        m_view->addRow(row, u"r%1"_s.arg(row));
    QTRY_COMPARE(m_view->model()->rowCount(), 40);
    QSignalSpy clicks(m_view.get(), &ListView::ItemClick);
    QSignalSpy enters(m_view.get(), &ListView::EnterPressed);
    m_view->setFocus();

    const auto landsOn = [&](Qt::Key key) {
        QTest::keyClick(m_view.get(), key);
        return clicks.isEmpty() ? -1 : clicks.takeFirst().at(0).toInt();
    };
    QCOMPARE(landsOn(Qt::Key_Home), 0);
    QCOMPARE(landsOn(Qt::Key_Down), 1);
    QCOMPARE(landsOn(Qt::Key_End), 39);
    QCOMPARE(landsOn(Qt::Key_Up), 38);
    QCOMPARE(landsOn(Qt::Key_Home), 0);
    QVERIFY(landsOn(Qt::Key_PageDown) > 1);
    QCOMPARE(landsOn(Qt::Key_PageUp), 0);
    // No move, no click.
    QCOMPARE(landsOn(Qt::Key_Up), -1);
    QCOMPARE(m_view->selectionModel()->selectedRows().value(0).row(), 0);

    // Enter clicks the row it acts on first, as a double click does.
    QTest::keyClick(m_view.get(), Qt::Key_Return);
    QTest::keyClick(m_view.get(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(enters.count(), 2);
    QCOMPARE(clicks, (QList<QVariantList>{{0}, {0}}));
}

void TstListView::keysActOnTheRowFramedOnFocus_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("rowsAfterFocus");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<int>>("clicked");  // the rows reported, in order
    QTest::addColumn<int>("enters");

    using Keys = QList<int>;
    QTest::newRow("focus then Enter") << 3 << false << Keys{Qt::Key_Return} << Keys{0} << 1;
    QTest::newRow("rows into the focused list, Enter") << 3 << true << Keys{Qt::Key_Return} << Keys{0} << 1;
    QTest::newRow("Home on the framed row") << 3 << false << Keys{Qt::Key_Home} << Keys{0} << 0;
    QTest::newRow("Home once landed there") << 3 << false << Keys{Qt::Key_Home, Qt::Key_Home} << Keys{0} << 0;
    QTest::newRow("one row: Enter") << 1 << false << Keys{Qt::Key_Enter} << Keys{0} << 1;
    QTest::newRow("one row: End, Down, Right")
        << 1 << false << Keys{Qt::Key_End, Qt::Key_Down, Qt::Key_Right} << Keys{0} << 0;
    QTest::newRow("empty list: Home, Enter") << 0 << false << Keys{Qt::Key_Home, Qt::Key_Enter} << Keys{} << 0;
}

void TstListView::keysActOnTheRowFramedOnFocus()
{
    QFETCH(int, rows);
    QFETCH(bool, rowsAfterFocus);
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, clicked);
    QFETCH(int, enters);

    m_view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    m_view->clearFocus();
    if (rowsAfterFocus)
        m_view->setFocus();
    for (int row = 0; row < rows; ++row)
        m_view->addRow(row, u"r%1"_s.arg(row));
    QTRY_COMPARE(m_view->model()->rowCount(), rows);
    m_view->setFocus();
    // Taking the focus frames the first row without selecting it.
    QCOMPARE(m_view->currentIndex().row(), rows > 0 ? 0 : -1);
    QVERIFY(!m_view->selectionModel()->hasSelection());

    QSignalSpy clicks(m_view.get(), &ListView::ItemClick);
    QSignalSpy enterPresses(m_view.get(), &ListView::EnterPressed);
    for (const int key : keys)
        QTest::keyClick(m_view.get(), Qt::Key(key));
    QCOMPARE(clicks.size(), clicked.size());
    for (qsizetype i = 0; i < clicks.size(); ++i)
        QCOMPARE(clicks.at(i).at(0).toInt(), clicked.at(i));
    QCOMPARE(enterPresses.count(), enters);
    QCOMPARE(m_view->selectionModel()->selectedRows().size(), clicked.isEmpty() ? 0 : 1);
}

void TstListView::currentRowIsFramedWhileFocused_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QColor>("frame");  // invalid: no frame

    QTest::newRow("current row of the focused list") << true << false << QColor(Qt::darkBlue);
    QTest::newRow("selected as well") << true << true << QColor(Qt::yellow);
    QTest::newRow("list without the focus") << false << false << QColor();
}

void TstListView::currentRowIsFramedWhileFocused()
{
    QFETCH(bool, focused);
    QFETCH(bool, selected);
    QFETCH(QColor, frame);

    QPalette colours = m_view->palette();
    colours.setColor(QPalette::Text, Qt::darkBlue);
    colours.setColor(QPalette::HighlightedText, Qt::yellow);
    m_view->setPalette(colours);
    for (int row = 0; row < 3; ++row)
        m_view->addRow(row, u"行"_s);
    // Rows are laid out once the view has been drawn.
    QTRY_VERIFY(!m_view->visualRect(m_view->model()->index(1, 0)).isEmpty());
    m_view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    m_view->setFocus();
    m_view->selectionModel()->setCurrentIndex(m_view->model()->index(1, 0),
                                              selected ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                                       : QItemSelectionModel::NoUpdate);
    if (!focused)
        m_view->clearFocus();
    QCOMPARE(m_view->hasFocus(), focused);

    const QImage picture = m_view->viewport()->grab().toImage();
    const QRect row = m_view->visualRect(m_view->model()->index(1, 0));
    // The frame's dashes along the row's top edge, past the first cell's text.
    int inFrameColour = 0;
    for (int x = row.left(); x < row.left() + 60; ++x)
        inFrameColour += QColor(picture.pixel(x, row.top())) == frame;
    QCOMPARE(inFrameColour > 10, frame.isValid());
}

QTEST_MAIN(TstListView)
#include "tst_listview.moc"
