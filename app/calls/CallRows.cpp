// Compact storage of the call list's rows.
#include "CallRows.h"

#include <algorithm>

void CallRows::reserve(size_t rows, size_t textBytes)
{
    m_text.reserve(textBytes);
    m_starts.reserve(rows * FieldCount);
    m_icons.reserve(rows);
    m_ids.reserve(rows);
}

void CallRows::append(const Texts& texts, int icon, qint64 id)
{
    m_ids.push_back(id);
    for (const std::string_view& text : texts) {
        m_starts.push_back(static_cast<uint32_t>(m_text.size()));
        m_text.append(text);
    }
    m_icons.push_back(static_cast<uint8_t>(icon));
}

QString CallRows::text(size_t row, Field field) const
{
    const size_t at = row * FieldCount + field;
    const size_t start = m_starts[at];
    const size_t end = at + 1 < m_starts.size() ? m_starts[at + 1] : m_text.size();
    return QString::fromUtf8(m_text.data() + start, static_cast<qsizetype>(end - start));
}

bool CallRows::isEmpty(size_t row, Field field) const
{
    const size_t at = row * FieldCount + field;
    const size_t end = at + 1 < m_starts.size() ? m_starts[at + 1] : m_text.size();
    return end == m_starts[at];
}

size_t CallRows::rowOf(qint64 id) const
{
    const auto at = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    return at != m_ids.end() && *at == id ? size_t(at - m_ids.begin()) : size();
}
