// The program's error convention in one place: run a step, and when it fails write
// label + number + " " + description to the system log and carry on with the next step.
#pragma once

#include <QString>
#include <functional>

class ErrorTrap
{
public:
    using LogLine = std::function<void(const QString&)>;

    // label is the procedure's prefix as it appears in the log, e.g. "ErrOpenLine ".
    ErrorTrap(QString label, LogLine log) : m_label(std::move(label)), m_log(std::move(log)) {}

    // Runs one step; a run-time error it raises is logged and swallowed. Returns false when it failed.
    bool step(const std::function<void()>& body) const;

    // The line written for an error: label + number + " " + description.
    QString lineFor(int number, const QString& description) const;

private:
    QString m_label;
    LogLine m_log;
};
