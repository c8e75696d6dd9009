// The call list's table model.
#include "CallListModel.h"

#include "LocaleText.h"

#include <QFont>

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

void CallListModel::setRows(CallRows rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CallListModel::addNewest(const CallRows::Texts& texts, int icon, qint64 id)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_rows.append(texts, icon, id);
    endInsertRows();
}

CallRow CallListModel::row(int index) const
{
    const size_t r = record(index);
    CallRow row;
    row.key = m_rows.text(r, CallRows::Key);
    row.length = m_rows.text(r, CallRows::Length);
    row.date = m_rows.text(r, CallRows::Date);
    row.time = m_rows.text(r, CallRows::Time);
    row.number = m_rows.text(r, CallRows::Number);
    row.name = m_rows.text(r, CallRows::Name);
    row.icon = m_rows.icon(r);
    return row;
}

QString CallListModel::key(int index) const
{
    return m_rows.text(record(index), CallRows::Key);
}

int CallListModel::icon(int index) const
{
    return m_rows.icon(record(index));
}

int CallListModel::indexOf(qint64 id) const
{
    const size_t at = m_rows.rowOf(id);
    return at < m_rows.size() ? static_cast<int>(m_rows.size() - 1 - at) : -1;
}

void CallListModel::setIcon(int index, int icon)
{
    m_rows.setIcon(record(index), icon);
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
    const size_t r = record(index.row());
    if (role == Qt::DecorationRole && index.column() == 0) {
        const int icon = m_rows.icon(r);
        return icon >= 1 && icon <= 4 ? QVariant(m_icons[static_cast<size_t>(icon - 1)]) : QVariant();
    }
    // Unread calls stand out in bold, as unread mail does.
    if (role == Qt::FontRole && m_rows.icon(r) <= 2) {
        static const QFont bold = [] {
            QFont font;
            font.setBold(true);
            return font;
        }();
        return bold;
    }
    if (role != Qt::DisplayRole)
        return {};
    static constexpr CallRows::Field kColumns[] = {CallRows::Key,  CallRows::Length, CallRows::Date,
                                                   CallRows::Time, CallRows::Number, CallRows::Name};
    if (index.column() < 1 || index.column() > 5)
        return {};
    // Lengths are stored in seconds as the locale writes numbers; the list shows them one way.
    if (kColumns[index.column()] == CallRows::Length)
        return LocaleText::minutesSeconds(m_rows.text(r, CallRows::Length));
    return m_rows.text(r, kColumns[index.column()]);
}

QVariant CallListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers[section];
    return {};
}
