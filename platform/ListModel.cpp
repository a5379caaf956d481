#include "platform/ListModel.h"

#include <QMetaObject>

#include <algorithm>

namespace Quillmere {

int ListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_publishedRows;
}

int ListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shownColumns.size());
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_publishedRows)
        return {};
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) {
        const auto note = m_notes.constFind(index.row());
        return note != m_notes.cend() ? QVariant(*note) : QVariant();
    }
    if (role != Qt::DisplayRole)
        return {};
    return cellText(index.row(), m_shownColumns.value(index.column(), -1));
}

bool ListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::ToolTipRole || !index.isValid() || index.row() >= m_publishedRows)
        return false;
    if (value.toString().isEmpty())
        m_notes.remove(index.row());
    else
        m_notes.insert(index.row(), value.toString());
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1),
                       {Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
    return true;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return m_captions.value(m_shownColumns.value(section, -1));
}

void ListModel::removeAllColumns()
{
    beginResetModel();
    m_captions.clear();
    m_shownColumns.clear();
    m_cells.clear();
    m_notes.clear();
    m_publishedRows = 0;
    endResetModel();
}

int ListModel::insertColumn(int position, const QString &caption, bool shown)
{
    position = std::clamp(position, 0, int(m_captions.size()));
    const int columns = int(m_captions.size());
    const int rows = itemCount();
    const auto before = std::lower_bound(m_shownColumns.begin(), m_shownColumns.end(), position);
    const int shownPosition = int(before - m_shownColumns.begin());
    if (shown)
        beginInsertColumns({}, shownPosition, shownPosition);
    QList<QString> cells;
    cells.reserve(qsizetype(rows) * (columns + 1));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column <= columns; ++column) {
            if (column == position)
                cells.append(QString());
            if (column < columns)
                cells.append(m_cells.at(qsizetype(row) * columns + column));
        }
    }
    m_captions.insert(position, caption);
    m_cells = std::move(cells);
    for (int &column : m_shownColumns)
        column += column >= position;
    if (shown) {
        m_shownColumns.insert(shownPosition, position);
        endInsertColumns();
    }
    return shown ? shownPosition : -1;
}

void ListModel::clearRows()
{
    m_notes.clear();
    if (m_publishedRows > 0) {
        beginRemoveRows({}, 0, m_publishedRows - 1);
        m_cells.clear();
        m_publishedRows = 0;
        endRemoveRows();
    } else {
        m_cells.clear();
    }
}

void ListModel::insertRow(int position, const QString &firstColumnText)
{
    if (m_captions.isEmpty())
        return;
    position = std::clamp(position, 0, itemCount());
    // A row put before others moves their notes down with them.
    if (!m_notes.isEmpty() && position < itemCount()) {
        QHash<int, QString> moved;
        for (auto note = m_notes.cbegin(); note != m_notes.cend(); ++note)
            moved.insert(note.key() + (note.key() >= position), note.value());
        m_notes = std::move(moved);
    }
    const bool seen = position < m_publishedRows;
    if (seen)
        beginInsertRows({}, position, position);
    const qsizetype first = qsizetype(position) * m_captions.size();
    m_cells.insert(first, m_captions.size(), QString());
    m_cells[first] = firstColumnText;
    if (seen) {
        ++m_publishedRows;
        endInsertRows();
    } else {
        // Not yet seen by any view: it joins the next announcement.
        schedulePublish();
    }
}

void ListModel::setCellText(int row, int column, const QString &text)
{
    if (!contains(row, column))
        return;
    m_cells[qsizetype(row) * m_captions.size() + column] = text;
    if (const int shownColumn = this->shownColumn(column); row < m_publishedRows && shownColumn >= 0) {
        const QModelIndex cell = index(row, shownColumn);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

QString ListModel::cellText(int row, int column) const
{
    return contains(row, column) ? m_cells.at(qsizetype(row) * m_captions.size() + column) : QString();
}

void ListModel::publishRows()
{
    m_publishScheduled = false;
    const int rows = itemCount();
    if (rows <= m_publishedRows)
        return;
    beginInsertRows({}, m_publishedRows, rows - 1);
    m_publishedRows = rows;
    endInsertRows();
}

bool ListModel::contains(int row, int column) const
{
    return row >= 0 && row < itemCount() && column >= 0 && column < m_captions.size();
}

void ListModel::schedulePublish()
{
    if (m_publishScheduled)
        return;
    m_publishScheduled = true;
    QMetaObject::invokeMethod(this, &ListModel::publishRows, Qt::QueuedConnection);
}

}  // namespace Quillmere
