#include "platform/ListView.h"

#include "platform/FocusFrameDelegate.h"
#include "platform/ListModel.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace Quillmere {

ListView::ListView(QWidget *parent)
    : QTreeView(parent)
    , m_model(new ListModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    QPalette ground = palette();
    ground.setColor(QPalette::Base, Qt::white);
    setPalette(ground);

    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) { Q_EMIT ItemClick(index.row()); });
}

void ListView::removeAllColumns()
{
    m_model->removeAllColumns();
}

void ListView::addColumn(int position, const QString &caption, int width)
{
    // A hidden column never reaches the view, so that a screen reader moving along a row does
    // not read out the addresses it holds.
    if (const int shown = m_model->insertColumn(position, caption, width != 0); shown >= 0)
        setColumnWidth(shown, width);
}

void ListView::clearRows()
{
    m_model->clearRows();
}

int ListView::itemCount() const
{
    return m_model->itemCount();
}

void ListView::addRow(int position, const QString &firstColumnText)
{
    m_model->insertRow(position, firstColumnText);
}

void ListView::setCellText(int row, int column, const QString &text)
{
    m_model->setCellText(row, column, text);
}

QString ListView::cellText(int row, int column) const
{
    return m_model->cellText(row, column);
}

void ListView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QTreeView::drawRow(painter, option, index);
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid() || index.row() != current.row())
        return;
    // The row the keys act on is framed while the list has the focus, selected or not, as a
    // whole: a frame per cell would cut the row into pieces.
    FocusFrameDelegate::drawFrame(painter, option.rect, palette(),
                                  selectionModel()->isRowSelected(index.row(), index.parent()));
}

void ListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTreeView::rowsInserted(parent, start, end);
    // Rows that arrive while the list has the focus get a framed row, as taking the focus gives.
    if (hasFocus() && !currentIndex().isValid())
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
}

void ListView::focusInEvent(QFocusEvent *event)
{
    QTreeView::focusInEvent(event);
    // The view itself is announced as holding the focus after this returns; the framed row is
    // announced after that, so that a screen reader ends on the row the keys act on.
    QMetaObject::invokeMethod(this, &ListView::announceCurrentRow, Qt::QueuedConnection);
}

void ListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    // Over empty space there is no row to act on.
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        Q_EMIT DblClick();
}

void ListView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const QModelIndex framed = currentIndex();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && framed.isValid()) {
        // The framed row is the one Enter acts on, selected or not.
        event->accept();
        landOn(framed);
        Q_EMIT ItemClick(framed.row());
        Q_EMIT EnterPressed();
        return;
    }
    const int before = landedRow();
    QTreeView::keyPressEvent(event);
    // A move that stays put (Home on the first row, any arrow in a list of one) lands on the
    // framed row all the same.
    static constexpr int Moves[] = {Qt::Key_Up,   Qt::Key_Down, Qt::Key_Left,   Qt::Key_Right,
                                    Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};
    if (std::ranges::find(Moves, key) != std::end(Moves) && currentIndex().isValid()) {
        event->accept();
        landOn(currentIndex());
    }
    // Typing a row's first letters, or Space, lands on a row too.
    const int after = landedRow();
    if (after >= 0 && after != before)
        Q_EMIT ItemClick(after);
}

int ListView::landedRow() const
{
    // Taking the focus makes a row current, and framed, without selecting it; the keys or the
    // mouse have landed on a current row once it is selected.
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()) ? current.row() : -1;
}

void ListView::landOn(const QModelIndex &index)
{
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListView::announceCurrentRow()
{
    const QModelIndex current = currentIndex();
    if (!QAccessible::isActive() || !hasFocus() || !current.isValid())
        return;
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface *table = view ? view->tableInterface() : nullptr;
    if (QAccessibleInterface *cell = table ? table->cellAt(current.row(), current.column()) : nullptr) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

}  // namespace Quillmere
