// The rows of the call list, newest first, as a table model that stays fast and small with 100,000
// calls: texts stay compact until a cell is drawn.
#pragma once

#include "CallRows.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <array>
#include <vector>

// One row; `key` is the message file name, empty for a call without a message.
struct CallRow
{
    QString key;
    QString length; // the record's Type text when the call has a message, empty otherwise
    QString date;
    QString time;
    QString number;
    QString name;
    int icon = 2; // 1 message unread, 2 no message unread, 3 message read, 4 no message read
};

class CallListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CallListModel(QObject* parent = nullptr);

    // Replaces the column headers.
    void setHeaders(const QStringList& headers);
    // Replaces every row at once; rows come in record order and are shown newest (last) first.
    void setRows(CallRows rows);
    // Adds a row after the last record, which shows it at the top.
    void addNewest(const CallRows::Texts& texts, int icon, qint64 id);
    // The row at index (0 = top), made from the compact store.
    CallRow row(int index) const;
    // The message file name and icon of the row at index (0 = top), without making the whole row.
    QString key(int index) const;
    int icon(int index) const;
    // The call's id in the message store, and the row index of an id (-1 when it is not listed).
    qint64 id(int index) const { return m_rows.id(record(index)); }
    int indexOf(qint64 id) const;
    // Changes the icon of one row.
    void setIcon(int index, int icon);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_headers;
    // Display row index is record m_rows.size() - 1 - index.
    size_t record(int index) const { return m_rows.size() - 1 - static_cast<size_t>(index); }

    CallRows m_rows;
    std::array<QIcon, 4> m_icons;
};
