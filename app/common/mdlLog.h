// The daily system and calls logs: append a line, list, read, delete and purge the files.
#pragma once

#include "Clock.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// The date (and, when given, time) text of a file name: "/" becomes "-", ":" becomes "-", and a
// time is joined with "_". Other separators stay as the locale wrote them.
QString DateTimeFileText(const QString& date, const QString& time);

// A message made safe for one log line: control characters (line breaks among them) become spaces.
QString logSafe(const QString& message);

class mdlLog
{
public:
    // logFolder is the program folder's "Log/"; it is not created here.
    explicit mdlLog(QString logFolder, const Clock& clock = Clock::system());

    // The two switches: a log is written only while its switch is non-zero.
    void setSystemSwitch(int16_t on) { m_systemSwitch = on; }
    void setCallsSwitch(int16_t on) { m_callsSwitch = on; }
    int16_t systemSwitch() const { return m_systemSwitch; }
    int16_t callsSwitch() const { return m_callsSwitch; }

    // Appends "time : message" to today's system log; the file is opened and closed for the line.
    void WriteSysLog(const QString& message) const;
    // Appends "time : message" to today's calls log.
    void WriteCallsLog(const QString& message) const;

    // The names of the log files of a kind ("All", "System" or "Calls"), in directory order.
    QStringList logFileNames(const QString& kind) const;
    // The lines of one log file; false (lines untouched) for a name outside the folder or a file
    // that cannot be read.
    bool ReadLogFile(const QString& name, QStringList& lines) const;
    // Deletes one file of the log folder.
    void DeleteLogFile(const QString& name) const;
    // Deletes every file of the log folder last modified on or before today's midnight moved by
    // months (a negative number) calendar months, the day clamped to the month's end.
    void PurgeLogs(int months) const;

    // The months argument of PurgeLogs for a "LogFor" setting; 0 means keep for ever.
    static int monthsToKeep(const QString& logFor);
    // True for a plain file name of the log folder: no folder part, not "." or "..".
    static bool isLogFileName(const QString& name);

    QString folder() const { return m_folder; }
    // Today's file names, e.g. "12-7-26_Sys.txt".
    QString systemLogName() const;
    QString callsLogName() const;

private:
    void append(const QString& fileName, const QString& message) const;

    QString m_folder;
    const Clock& m_clock;
    int16_t m_systemSwitch = 0;
    int16_t m_callsSwitch = 0;
};
