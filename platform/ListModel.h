#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace Quillmere {

// Rows of text under captioned columns. Rows added in a burst (a page of up to 32 767) are
// announced to views once, when control returns to the event loop, instead of row by row.
// Hidden columns keep data for the program only: views, and the screen readers reading them,
// see just the shown columns, while rows and cells are counted over all of them.
class ListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Takes a note for the index's whole row as Qt::ToolTipRole: shown as its tooltip and read
    // out as its description. An empty note removes it; rows cleared take their notes along.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void removeAllColumns();
    // Returns where the column sits among the shown ones, -1 for a hidden one.
    int insertColumn(int position, const QString &caption, bool shown);

    void clearRows();
    // Rows held so far, including those not yet announced to views.
    int itemCount() const { return int(m_cells.size() / std::max<qsizetype>(1, m_captions.size())); }
    void insertRow(int position, const QString &firstColumnText);
    void setCellText(int row, int column, const QString &text);
    QString cellText(int row, int column) const;

    // Announces the rows added since the last announcement; runs by itself from the event loop.
    void publishRows();

private:
    int shownColumn(int column) const { return int(m_shownColumns.indexOf(column)); }
    bool contains(int row, int column) const;
    void schedulePublish();

    QStringList m_captions;
    QList<int> m_shownColumns;    // the columns views see, in order
    QList<QString> m_cells;       // row-major, m_captions.size() cells a row
    QHash<int, QString> m_notes;  // by row
    int m_publishedRows = 0;      // what views have been told
    bool m_publishScheduled = false;
};

}  // namespace Quillmere
