// The two-dimensional text array that the call database's Query fills, indexed from 1.
#pragma once

#include <QString>
#include <QStringList>

namespace kalvo {

// Rows are record numbers and columns field columns, both counted from 1; an index outside the
// array raises VbError 9 ("Subscript out of range"), as a Visual Basic array does.
class QueryArray
{
public:
    QueryArray() = default;

    // Drops the old content and makes an array of `rows` x `columns` empty texts.
    void resize(int rows, int columns);
    // Number of rows (records).
    int rows() const { return m_rows; }
    // Number of columns (fields).
    int columns() const { return m_columns; }
    // The text at (row, column), both from 1.
    const QString& at(int row, int column) const;
    // The text at (row, column) for writing, both from 1.
    QString& at(int row, int column);

private:
    int offset(int row, int column) const;

    int m_rows = 0;
    int m_columns = 0;
    QStringList m_cells;
};

} // namespace kalvo
