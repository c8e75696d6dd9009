// The engine's rules that windows use too, with no state: finding lines, checking a mail address,
// and turning the user's program template into an argument vector filled with a call's details.
#pragma once

#include <QString>
#include <QStringList>

class LineControl;
struct CurrentCall;

namespace EngineRules {

// The first line able to answer as an automated voice application; -2 when there is none.
int FindVoiceLine(LineControl& tapi, QString& deviceName);
// The first line with exactly this device name; -1 when there is none.
int FindLineByName(LineControl& tapi, const QString& deviceName);

// The recipient check of the actions dialog.
bool IsValidEmail(const QString& address);
// A remote-access password a telephone can key: 4 or more of 0-9, #, A-D ("*" ends a password).
bool IsValidPassword(const QString& password);
// A mail server: a host name or IPv4 address, optionally ":port" (1-65535); or "[IPv6]:port".
bool IsValidHostName(const QString& server);
// Whether the program a template starts can be found: a path to an executable file, or a name on
// PATH.
bool ProgramExists(const QString& commandTemplate);
// The same for an argument vector's program.
bool ProgramExists(const QStringList& argv);

// The template with the first occurrence of each placeholder replaced, in the order <NUMBER>,
// <NAME>, <MESSAGE_PATH>, <DATE>, <TIME>.
QString ReplacePlaceholders(const QString& text, const CurrentCall& call);
// The same rule over an argument vector: each placeholder's first occurrence, looking through
// the arguments in order, is replaced inside its argument.
QStringList ReplacePlaceholders(const QStringList& arguments, const CurrentCall& call);

// Splits the program template into words the way a shell's quotes group them and nothing else: no
// variables, no globbing, no command separators. Words are separated by unquoted blanks (space,
// tab, newline). Inside '...' every character is literal; inside "..." a backslash keeps its
// meaning only before " and \; outside quotes a backslash makes the next character literal.
// Adjacent quoted and unquoted parts form one word; "" alone is an empty word. An unclosed quote
// runs to the end of the text.
QStringList splitCommandLine(const QString& text);

// Starts argv[0] with the other arguments, detached, in a session of its own, with stdin from
// the null device and its output discarded. On failure returns false and fills error.
bool startDetached(const QStringList& argv, int* errorNumber, QString* error);

} // namespace EngineRules
