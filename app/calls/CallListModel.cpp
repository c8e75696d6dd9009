// The call list's table model.
#include "CallListModel.h"

#include <QPainter>
#include <QPixmap>

namespace {
// Icons 1 to 4: a filled envelope for a message, a hollow dot without one; bold blue when unread.
QIcon makeIcon(bool message, bool read)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = read ? QColor(128, 128, 128) : QColor(0, 84, 192);
    painter.setPen(QPen(colour, 1.5));
    if (message) {
        painter.setBrush(read ? QColor(230, 230, 230) : QColor(200, 220, 255));
        painter.drawRect(QRectF(1.5, 3.5, 13, 9));
        painter.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
        painter.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
    } else {
        painter.setBrush(read ? Qt::NoBrush : QBrush(colour));
        painter.drawEllipse(QRectF(4.5, 4.5, 7, 7));
    }
    return QIcon(pixmap);
}
} // namespace

CallListModel::CallListModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_icons = {makeIcon(true, false), makeIcon(false, false), makeIcon(true, true), makeIcon(false, true)};
}

void CallListModel::setHeaders(const QStringList& headers)
{
    beginResetModel();
    m_headers = headers;
    endResetModel();
}

void CallListModel::setRows(std::vector<CallRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CallListModel::setIcon(int index, int icon)
{
    m_rows.at(static_cast<size_t>(index)).icon = icon;
    const QModelIndex cell = this->index(index, 0);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

int CallListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CallListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant CallListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const CallRow& row = m_rows[static_cast<size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0 && row.icon >= 1 && row.icon <= 4)
        return m_icons[static_cast<size_t>(row.icon - 1)];
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 1:
        return row.length;
    case 2:
        return row.date;
    case 3:
        return row.time;
    case 4:
        return row.number;
    case 5:
        return row.name;
    default:
        return {};
    }
}

QVariant CallListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers[section];
    return {};
}
