// Bounds-checked storage of the Query array.
#include "QueryArray.h"

#include "VbError.h"

namespace kalvo {

void QueryArray::resize(int rows, int columns)
{
    if (rows < 0 || columns < 0)
        throw VbError(VbSubscriptOutOfRange);
    m_cells.clear();
    m_cells.resize(qsizetype(rows) * columns);
    m_rows = rows;
    m_columns = columns;
}

const QString& QueryArray::at(int row, int column) const
{
    return m_cells.at(offset(row, column));
}

QString& QueryArray::at(int row, int column)
{
    return m_cells[offset(row, column)];
}

int QueryArray::offset(int row, int column) const
{
    if (row < 1 || row > m_rows || column < 1 || column > m_columns)
        throw VbError(VbSubscriptOutOfRange);
    return (row - 1) * m_columns + (column - 1);
}

} // namespace kalvo
