// The caller rules as a CSV file: a header line "number,name,kind,note", one rule a record; fields
// quoted as RFC 4180 has it (quotes doubled, commas and line breaks inside quotes). The kind
// "block" or "allow" decides by the number ("withheld" for a caller without a number) and takes
// the name as a label; "block-name" or "allow-name" decides by a part of the caller's name and has
// no number. A rule without a number but with a name and the kind "block" or "allow" (as earlier
// versions wrote name rules) is read as a name rule. A field that a spreadsheet would run as a
// formula (starting with "=", "+", "-", "@", a tab or CR) is written with a "'" before it, and
// reading removes that "'" again. An allow rule's own greeting (a file name in Greets) goes in a
// fifth column "greeting", written only when some rule has one, so files without it stay as
// they were.
#pragma once

#include "CallerRuleStore.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace RulesCsv {

// The header line's fields, and the one that may follow them.
inline constexpr const char* kHeader = "number,name,kind,note";
inline constexpr const char* kGreetingField = "greeting";

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
