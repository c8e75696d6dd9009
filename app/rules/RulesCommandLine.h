// The command-line switches that list, import and export the caller rules. They work on the
// database file alone, so they run the same whether or not Kalvo is running, and a running Kalvo
// meets the changed rules at its next call.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

namespace RulesCommandLine {

// True when the first argument is one of the rules switches.
bool isRulesCommand(const QStringList& arguments);

// Runs "--rules-list", "--rules-import FILE" or "--rules-export FILE" on the database of
// callsFolder; what was done goes to out, faults to err; any other arguments get the usage. @return the exit
// status: 0 when done, 1 when the file or the database failed, 2 for a wrong command line.
int run(const QStringList& arguments, const QString& callsFolder, std::FILE* out, std::FILE* err);

} // namespace RulesCommandLine
