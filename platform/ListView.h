#pragma once

#include <QTreeView>

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
    // A click on a row, or the current row moved from the keyboard onto it.
    void ItemClick(int row);
    // A double click over a row; the click before it has already reported the row.
    void DblClick();
    // Enter or Return on the selected current row; landing on it has already reported the row.
    void EnterPressed();

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    ListModel *m_model;
};
