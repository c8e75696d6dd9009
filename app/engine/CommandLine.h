// Splits the user's command-line template into an argument vector, grouping words the way a shell's
// quotes do and nothing else: no variables, no globbing, no command separators.
#pragma once

#include <QStringList>

class CommandLine
{
public:
    // Words are separated by unquoted blanks (space, tab, newline). Inside '...' every character is
    // literal; inside "..." a backslash keeps its meaning only before " and \; outside quotes a
    // backslash makes the next character literal. Adjacent quoted and unquoted parts form one word;
    // "" alone is an empty word. An unclosed quote runs to the end of the text.
    static QStringList split(const QString& text);
};
