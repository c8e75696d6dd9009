// Plain SQL on a database file, for tests that lay out tables the way an earlier version left them.
#pragma once

#include <QString>

namespace kalvo::test {

// Runs the statements on the SQLite file (made when missing). @return an empty text, or why not.
QString executeSql(const QString& file, const QString& sql);

} // namespace kalvo::test
