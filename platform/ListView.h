#pragma once

#include <QTreeView>

namespace Quillmere {

class ListModel;

// A multi-column list of text rows: whole rows are clicked and selected, on a white ground.
// Rows and columns are counted from 0.
class ListView : public QTreeView
{
    Q_OBJECT

public:
    explicit ListView(QWidget *parent = nullptr);

    void removeAllColumns();
    // A width of 0 hides the column.
    void addColumn(int position, const QString &caption, int width);

    void clearRows();
    int itemCount() const;
    void addRow(int position, const QString &firstColumnText);
    void setCellText(int row, int column, const QString &text);
    QString cellText(int row, int column) const;

Q_SIGNALS:
    // A click on a row, or the keys landing on it: an arrow, Home, End or a page key that
    // reaches a row not yet landed on, the framed one included.
    void ItemClick(int row);
    // A double click over a row; the click before it has already reported the row.
    void DblClick();
    // Enter or Return on the framed row, which is clicked first, as before a double click.
    void EnterPressed();

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void focusInEvent(QFocusEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int landedRow() const;
    void landOn(const QModelIndex &index);
    void announceCurrentRow();

    ListModel *m_model;
};

}  // namespace Quillmere
