// The rows of the call list kept compact: every text of every row in one UTF-8 buffer and a small
// fixed record per row, so 100,000 calls take a few megabytes. Rows are kept in record order.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CallRows
{
public:
    // The texts of a row, as the list's columns show them (Key is the message file name).
    enum Field { Key, Length, Date, Time, Number, Name, FieldCount };
    using Texts = std::array<std::string_view, FieldCount>;

    void reserve(size_t rows, size_t textBytes);
    // Adds a row after the last one; id is the call's id in the message store.
    void append(const Texts& texts, int icon, qint64 id = 0);

    size_t size() const { return m_icons.size(); }
    QString text(size_t row, Field field) const;
    bool isEmpty(size_t row, Field field) const;
    int icon(size_t row) const { return m_icons[row]; }
    void setIcon(size_t row, int icon) { m_icons[row] = static_cast<uint8_t>(icon); }
    qint64 id(size_t row) const { return m_ids[row]; }
    // The row of a call (ids grow with the rows); size() when it is not there.
    size_t rowOf(qint64 id) const;

private:
    std::string m_text;
    std::vector<uint32_t> m_starts; // FieldCount starts per row; a text ends where the next begins
    std::vector<uint8_t> m_icons;
    std::vector<qint64> m_ids;
};
