// The rows of the call list, newest first, as a table model that stays fast with 100,000 calls.
#pragma once

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
    // Replaces every row at once.
    void setRows(std::vector<CallRow> rows);
    // The row at index (0 = top).
    const CallRow& row(int index) const { return m_rows.at(static_cast<size_t>(index)); }
    // Changes the icon of one row.
    void setIcon(int index, int icon);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_headers;
    std::vector<CallRow> m_rows;
    std::array<QIcon, 4> m_icons;
};
