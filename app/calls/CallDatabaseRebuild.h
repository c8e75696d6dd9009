// A call database that SQLite reports damaged: kept aside under another name, and a new one made with
// every call that can still be recovered from it and from the message files.
#pragma once

#include "WaveControl.h"

#include <QString>
#include <QStringList>

namespace kalvo {
class CallDatabase;
}

class mdlLog;

class CallDatabaseRebuild
{
public:
    CallDatabaseRebuild(kalvo::CallDatabase& db, WaveControl& wave1, mdlLog& log);

    // Moves callsFolder's damaged database (with its log files) aside as
    // "calls.sqlite3.damaged-<date>-<time>", opens a new one and appends the calls read from the
    // damaged file, then one call for every message file that no call names: those in
    // messageFolders.first() by name, those in the other folders by their whole path. Calls waiting
    // in the pending folder keep their own message files. A file that holds no calls at all is not
    // taken for a call database and is left where it is. @return what to tell the owner (also
    // written to the system log), empty when nothing was rebuilt.
    QString rebuild(const QString& callsFolder, const QStringList& messageFolders);

private:
    struct Call;
    QString moveAside(const QString& file) const;
    QList<Call> unlistedMessages(const QStringList& messageFolders, const QStringList& listed) const;
    bool append(const Call& call);

    kalvo::CallDatabase& m_db;
    WaveControl& m_wave1;
    mdlLog& m_log;
};
