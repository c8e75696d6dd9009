// The message store: the one owner of the stored calls and their message files for every client
// (the call list, the player, remote access, the actions after a call, the tray, the notifications).
// A call is known by its id, which stays the same while the call exists, whatever is added or
// deleted around it; list positions are the windows' business.
#pragma once

#include "CallDatabase.h"
#include "MessageFolderMove.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class ErrorTrap;
class mdlLog;

class MessageStore : public QObject
{
    Q_OBJECT

public:
    using Id = qint64;

    // One call as stored.
    struct Call
    {
        Id id = 0;
        QString name, number, time, date;
        QString messageFile; // a bare name in the messages folder, or the whole path of one kept elsewhere
        QString type;        // "-1" without a message, else the message's length
        QString read;        // "1" read; anything else counts as unread
        bool hasMessage() const { return type != QLatin1String("-1"); }
        bool isRead() const { return read == QLatin1String("1"); }
    };

    // The texts of one call while the calls are read all at once, valid during the visit only (UTF-8).
    struct Texts
    {
        std::string_view name, number, time, date, messageFile, type, read;
    };

    // messagesSetting is the in-memory "MassagesPath"; the store follows it as it changes.
    MessageStore(kalvo::CallDatabase& db, const QString& messagesSetting, mdlLog& log,
                 QObject* parent = nullptr);

    // ---- Where messages are ----
    // The messages folder a "MassagesPath" value names: the value, ending in "/".
    static QString folderOf(const QString& messagesSetting);
    // Where a message file is: a bare name in the messages folder, or the whole path of a message
    // that had to be kept elsewhere.
    static QString messagePath(const QString& messagesFolder, const QString& messageFile);
    QString messagesFolder() const { return folderOf(m_messagesSetting); }
    QString pathOf(const QString& messageFile) const { return messagePath(messagesFolder(), messageFile); }
    // The message file of a call; empty for a call without a message or one that is gone.
    QString pathOf(Id id);

    // ---- Listing ----
    // The counts at the last listing, kept up to date by the changes below.
    int total() const { return m_total; }
    int unread() const { return m_unread; }
    // Visits every call oldest first (record order) with its id and texts, and counts them. A
    // failure goes to trap; the counts are then 0. @return false when the calls could not be read whole.
    bool readAll(const std::function<void(Id, const Texts&)>& visit, const ErrorTrap& trap);
    // The call added last, counted, when it is the one call added since the last listing; nothing
    // when that is not so (then the caller reads all).
    std::optional<Call> takeNewest(const ErrorTrap& trap);
    // Up to count calls, newest first, starting offset calls below the newest.
    std::vector<Call> page(int offset, int count);
    // Up to count calls older than the call before (which may be gone), newest first.
    std::vector<Call> pageBelow(Id before, int count);
    std::optional<Call> call(Id id);
    // The newest call's id; 0 when there is none.
    Id newest();
    // The call listed right below id (the next older one), also when id was deleted meanwhile; 0
    // at the end.
    Id olderThan(Id id);
    // The newest call whose message is that file (a path or a bare name); 0 when none.
    Id idOfMessage(const QString& path);

    // ---- Changes; errors are logged under the label of the procedure that asks for them ----
    // Marks a call read or unread; a call already so is not written. *type gets the record's "Type"
    // when it could be read. @return true when the record was written.
    bool setRead(Id id, bool read, QString* type = nullptr);
    // Deletes a call with its message file, both or neither: a message that is missing does not
    // keep the record; a record that cannot be deleted keeps its file. @return true when the call is gone.
    bool remove(Id id);
    // Deletes every call; their message files stay.
    void clear();
    // Moves every message file from one messages folder to the other, all or none (see
    // MessageFolderMove::move).
    MessageFolderMove::Result moveFolder(const QString& oldFolder, const QString& newFolder);

signals:
    // Calls were added, marked or deleted.
    void changed(const QList<qint64>& ids);
    // Every call was deleted.
    void cleared();
    // The counts were made again or changed; the tray tip shows them.
    void countsChanged(int total, int unread);

private:
    // Record number of a call, 0 when it is gone.
    int numberOf(Id id);
    // Number of calls whose id is at most id.
    int countUpTo(Id id);
    Call readCall(int number);
    void logLine(const QString& line) const;
    void setCounts(int total, int unread);

    kalvo::CallDatabase& m_db;
    const QString& m_messagesSetting;
    mdlLog& m_log;
    int m_total = 0;
    int m_unread = 0;
};
