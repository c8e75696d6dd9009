// Recordings cut short by a crash or a kill: while a message is recorded, the caller's details wait
// beside its spool file; at the next start each interrupted recording becomes a call in the call
// database, with those details (or the unknown caller's texts), its audio up to the interruption, unread.
#pragma once

#include <QString>

#include <functional>

struct CurrentCall;
class CallStore;
class ErrorTrap;
class mdlLog;

class QJsonObject;

class RecoveredMessages
{
public:
    RecoveredMessages(CallStore& store, mdlLog& log);

    // Writes the details of call beside the newest spool file of this process (the recording that
    // has just started). @return false when there is no such file or it could not be written.
    static bool noteRecordingStarted(const QString& spoolFolder, const CurrentCall& call);
    // Adds to those details the message file the call's record will name, so a recording whose file
    // cannot be written joins that record when it comes back.
    static bool noteMessageFile(const QString& spoolFolder, const QString& messageFile);
    // Marks this process's newest recording as a greeting take, which never becomes a call.
    static bool noteGreetingTake(const QString& spoolFolder);
    // Removes the details of this process's recordings that have ended (their spool file is gone).
    static void noteRecordingEnded(const QString& spoolFolder);

    // Turns every interrupted recording in spoolFolder (of a process no longer running, and files
    // kept as "interrupted-*.wav" by earlier versions) into a call with its message in
    // messagesFolder, one system-log line each. A spool file and its details are removed only once
    // the call is stored; on any failure they stay for the next start. @return the calls stored.
    // A greeting take cut short the same way becomes takeFile (the greeting creator's unsaved take).
    int recover(const QString& spoolFolder, const QString& messagesFolder, const QString& takeFile = {});

    // The start of the calls: opens the call database in programFolder's "Calls" (a damaged one is
    // rebuilt from what it holds and from the messages in both messages folders), then turns the
    // interrupted recordings into calls. trap and tell as for CallStore::openAtStart; rebuilt gets
    // what the owner is told of a rebuilt database. @return false when the database is not open.
    static bool openAtStart(CallStore& store, mdlLog& log, const QString& programFolder,
                            const QString& messagesSetting, const ErrorTrap& trap,
                            const std::function<void(const QString&)>& tell,
                            const std::function<void(const QString&)>& rebuilt);

    // The details file that goes with a spool file: "rec-<pid>-<n>.part.wav" -> "rec-<pid>-<n>.call".
    static QString detailsPath(const QString& spoolFile);

private:
    bool recoverOne(const QString& spoolFile, const QString& messagesFolder, const QString& takeFile);
    // This process's newest spool file (the recording just started); empty when there is none.
    static QString newestOwnPart(const QString& spoolFolder);
    static bool writeDetails(const QString& path, const QJsonObject& details);

    CallStore& m_store;
    mdlLog& m_log;
};
