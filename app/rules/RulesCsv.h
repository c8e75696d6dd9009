// The caller rules as a CSV file: a header line "number,name,kind,note", one rule a record, kind
// "block" or "allow", the number "withheld" for a caller without a number; fields quoted as
// RFC 4180 has it (quotes doubled, commas and line breaks inside quotes).
#pragma once

#include "CallerRuleStore.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace RulesCsv {

// The header line's fields.
inline constexpr const char* kHeader = "number,name,kind,note";

// The rules as CSV text (UTF-8, lines ended by CR LF).
QByteArray write(const std::vector<kalvo::CallerRule>& rules);

struct ReadResult
{
    std::vector<kalvo::CallerRule> rules;
    QString error; // empty when the whole text was read
    int line = 0;  // the line (from 1) the error is on
    bool ok() const { return error.isEmpty(); }
};
// Reads every rule of the text, or none: the first fault stops the reading with its line.
ReadResult read(const QByteArray& text);

// Reads the file, or tells why it cannot be read ("<file>: line 3: ...").
ReadResult readFile(const QString& path);
// Writes the file whole (a temporary file renamed over it). @return an empty text, or why not.
QString writeFile(const QString& path, const std::vector<kalvo::CallerRule>& rules);

} // namespace RulesCsv
