// The call record: appending a finished call to the call database, and naming message files.
#pragma once

#include "WaveControl.h"

#include "CurrentCall.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace kalvo {
class CallDatabase;
}

class ErrorTrap;
class mdlLog;

class CallStore
{
public:
    // wave1 is the line-side sound instance, asked for the length of a message file.
    CallStore(kalvo::CallDatabase& db, WaveControl& wave1, mdlLog& log);

    // Opens the call database at start. When it cannot be opened, trap logs the error as the
    // start-up step's error and tell gets the text for the user, since without it no call is
    // listed or kept. A damaged database is rebuilt with the calls that can be recovered, from it
    // and from the message files in messageFolders (the messages folder first); rebuilt() then says
    // so. @return false when the database is not open.
    bool openAtStart(const QString& callsFolder, const ErrorTrap& trap,
                     const std::function<void(const QString&)>& tell, const QStringList& messageFolders = {});
    // What the owner is told about a damaged database rebuilt at start; empty when none was.
    const QString& rebuilt() const { return m_rebuilt; }

    // Keeps a call that could not be stored beside the database (in its "pending" folder), with
    // every field it will have. @return false when even that could not be written.
    bool queue(const CurrentCall& call, const QString& messagesFolder);
    // Stores the queued calls, oldest first, each removed once it is a record; one that cannot be
    // stored is logged and waits for the next try while the rest are stored. A queued call that is
    // already a record (its file could not be removed) is not stored again. Runs by itself when the
    // database opens. @return the calls stored.
    int storePending();

    // Appends the call as a new record (Type "-1" without a message, else the file's length) and
    // writes the calls-log line. Errors are logged and the next step runs. @return true when the
    // record was stored.
    bool PutCallDetailsInDB(const CurrentCall& call, const QString& messagesFolder);

    // Gives the record that names messageFile the audio in audioFile, when that record's own file was
    // never written: the file is copied into place (owner-only) and "Type" gets its length.
    // @return false when there is no such record or it already has its file.
    bool attachMessage(const QString& messageFile, const QString& messagesFolder, const QString& audioFile);

    // Whether a finished call is kept: every call with "ListMessageOnly" 0, only calls with a
    // message with 1.
    static bool keepsCall(int16_t listMessageOnly, bool gotMessage);

    // The message file name of a call, DateTimeFileText(date, time) + ".wav". When that file already
    // exists in the folder, "_2", "_3", ... goes before ".wav" so no message is overwritten.
    static QString messageFileName(const QString& messagesFolder, const QString& date, const QString& time);

    // A length as stored in "Type": shortest decimal text, up to 15 significant digits, locale
    // decimal separator, no group separators.
    static QString lengthText(double length);

    // The calls-log line of a call.
    static QString callsLogLine(const CurrentCall& call);

private:
    // Name, number, time, date, message file and "Type" of a call.
    QStringList recordValues(const CurrentCall& call, const QString& messagesFolder) const;
    bool storeRecord(const QStringList& values, const ErrorTrap& trap);

    kalvo::CallDatabase& m_db;
    WaveControl& m_wave1;
    mdlLog& m_log;
    QString m_pendingFolder;
    QString m_rebuilt;
    int m_queued = 0;
};
