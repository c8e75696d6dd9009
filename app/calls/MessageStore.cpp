// The stored calls and their message files.
#include "MessageStore.h"

#include "ErrorTrap.h"
#include "VbError.h"
#include "mdlLog.h"

#include <QFile>
#include <QFileInfo>

namespace F = kalvo::CallField;

namespace {
// The fields rewritten with their own value when a read mark changes, as the record store expects.
const char* const kKeptFields[] = {F::Name, F::Number, F::Time, F::Date, F::MessageName};
} // namespace

MessageStore::MessageStore(kalvo::CallDatabase& db, const QString& messagesSetting, mdlLog& log,
                           QObject* parent)
    : QObject(parent), m_db(db), m_messagesSetting(messagesSetting), m_log(log)
{
}

QString MessageStore::folderOf(const QString& messagesSetting)
{
    return messagesSetting.endsWith('/') ? messagesSetting : messagesSetting + '/';
}

QString MessageStore::messagePath(const QString& messagesFolder, const QString& messageFile)
{
    return messageFile.startsWith('/') ? messageFile : messagesFolder + messageFile;
}

void MessageStore::logLine(const QString& line) const
{
    m_log.WriteSysLog(line);
}

void MessageStore::setCounts(int total, int unread)
{
    m_total = total;
    m_unread = unread;
    emit countsChanged(m_total, m_unread);
}

int MessageStore::countUpTo(Id id)
{
    // Ids grow with the record number: a binary search finds where id is, or would be.
    int low = 0, high = m_db.RecordCount();
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (m_db.RecordId(middle) <= id)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

int MessageStore::numberOf(Id id)
{
    const int number = countUpTo(id);
    return number > 0 && m_db.RecordId(number) == id ? number : 0;
}

MessageStore::Call MessageStore::readCall(int number)
{
    m_db.MoveTo(number);
    Call call;
    call.id = m_db.RecordId(number);
    call.name = m_db.GetField(F::Name);
    call.number = m_db.GetField(F::Number);
    call.time = m_db.GetField(F::Time);
    call.date = m_db.GetField(F::Date);
    call.messageFile = m_db.GetField(F::MessageName);
    call.type = m_db.GetField(F::Type);
    call.read = m_db.GetField(F::Read);
    return call;
}

bool MessageStore::readAll(const std::function<void(Id, const Texts&)>& visit, const ErrorTrap& trap)
{
    int total = 0, unread = 0;
    const bool whole = trap.step([&] {
        const auto column = [this](const char* field) { return size_t(m_db.FieldIndex(field) - 1); };
        const size_t name = column(F::Name), number = column(F::Number), time = column(F::Time),
                     date = column(F::Date), message = column(F::MessageName), type = column(F::Type),
                     read = column(F::Read);
        int record = 0;
        m_db.ForEachRecord([&](const kalvo::CallDatabase::RecordTexts& texts) {
            if (texts[read] != "1")
                ++unread;
            visit(m_db.RecordId(++record), {texts[name], texts[number], texts[time], texts[date],
                                            texts[message], texts[type], texts[read]});
        });
        total = m_db.RecordCount();
    });
    if (!whole)
        total = unread = 0;
    setCounts(total, unread);
    return whole;
}

std::optional<MessageStore::Call> MessageStore::takeNewest(const ErrorTrap& trap)
{
    std::optional<Call> newest;
    trap.step([&] {
        const int count = m_db.RecordCount();
        if (count >= 1 && count == m_total + 1)
            newest = readCall(count);
    });
    if (newest) {
        setCounts(m_total + 1, m_unread + (newest->isRead() ? 0 : 1));
        emit changed({newest->id});
    }
    return newest;
}

std::vector<MessageStore::Call> MessageStore::page(int offset, int count)
{
    std::vector<Call> calls;
    for (int number = m_db.RecordCount() - offset; number >= 1 && int(calls.size()) < count; --number)
        calls.push_back(readCall(number));
    return calls;
}

std::vector<MessageStore::Call> MessageStore::pageBelow(Id before, int count)
{
    return page(m_db.RecordCount() - countUpTo(before - 1), count);
}

std::optional<MessageStore::Call> MessageStore::call(Id id)
{
    const int number = numberOf(id);
    if (number == 0)
        return std::nullopt;
    return readCall(number);
}

QString MessageStore::pathOf(Id id)
{
    const std::optional<Call> found = call(id);
    return found && found->hasMessage() ? pathOf(found->messageFile) : QString();
}

MessageStore::Id MessageStore::newest()
{
    const int count = m_db.RecordCount();
    return count > 0 ? m_db.RecordId(count) : 0;
}

MessageStore::Id MessageStore::olderThan(Id id)
{
    const int number = countUpTo(id - 1);
    return number > 0 ? m_db.RecordId(number) : 0;
}

MessageStore::Id MessageStore::idOfMessage(const QString& path)
{
    const QString folder = messagesFolder();
    const size_t type = size_t(m_db.FieldIndex(F::Type) - 1);
    const size_t message = size_t(m_db.FieldIndex(F::MessageName) - 1);
    int number = 0, found = 0;
    m_db.ForEachRecord([&](const kalvo::CallDatabase::RecordTexts& texts) {
        ++number;
        if (texts[type] == "-1")
            return;
        const QString file = QString::fromUtf8(texts[message].data(), qsizetype(texts[message].size()));
        if (file == path || messagePath(folder, file) == path)
            found = number;
    });
    return found > 0 ? m_db.RecordId(found) : 0;
}

bool MessageStore::setRead(Id id, bool read, QString* type)
{
    ErrorTrap trap("ErrMarkAsReadUnRead ", [this](const QString& l) { logLine(l); });
    bool already = false;
    const bool done = trap.step([&] {
        m_db.MoveTo(numberOf(id));
        already = (m_db.GetField(F::Read) == QLatin1String("1")) == read;
        if (already)
            return;
        m_db.Edit();
        const QString stored = m_db.GetField(F::Type);
        if (type)
            *type = stored;
        for (const char* field : kKeptFields)
            m_db.SetField(field, m_db.GetField(field));
        m_db.SetField(F::Type, stored);
        m_db.SetField(F::Read, QString(read ? "1" : "0"));
        m_db.Update();
    });
    if (already) {
        if (type)
            trap.step([&] { *type = m_db.GetField(F::Type); });
        return false;
    }
    // The count follows the mark even when the record could not be written, as the list's icon does.
    if (!read)
        setCounts(m_total, m_unread + 1);
    else if (m_unread >= 1)
        setCounts(m_total, m_unread - 1);
    emit changed({id});
    return done;
}

bool MessageStore::remove(Id id)
{
    ErrorTrap trap("ErrDeleteItemIndex ", [this](const QString& l) { logLine(l); });
    std::optional<Call> gone;
    if (!trap.step([&] {
            gone = call(id);
            if (!gone)
                throw kalvo::VbError(kalvo::VbSubscriptOutOfRange);
        }))
        return false;
    // The message goes aside first and is removed only with its record, so a record that cannot
    // be deleted still has its message. A message already missing does not keep the record.
    QString path, aside;
    if (gone->hasMessage() && !gone->messageFile.isEmpty()) {
        path = pathOf(gone->messageFile);
        const QFileInfo file(path);
        const bool movedAside = trap.step([&] {
            if (!file.exists())
                throw kalvo::VbError(kalvo::VbFileNotFound);
            aside = file.path() + "/." + file.fileName() + ".deleting";
            QFile::remove(aside);
            if (!QFile::rename(path, aside))
                throw kalvo::VbError(kalvo::VbPathFileAccessError);
        });
        if (!movedAside && file.exists())
            return false;
    }
    const bool deleted = trap.step([&] {
        m_db.MoveTo(numberOf(id));
        m_db.Delete();
    });
    if (!deleted) {
        if (!aside.isEmpty())
            QFile::rename(aside, path);
        return false;
    }
    if (!aside.isEmpty())
        trap.step([&] {
            if (!QFile::remove(aside))
                throw kalvo::VbError(kalvo::VbPathFileAccessError);
        });
    setCounts(m_total - 1, m_unread - (gone->isRead() || m_unread == 0 ? 0 : 1));
    emit changed({id});
    return true;
}

void MessageStore::clear()
{
    ErrorTrap("ErrToolbar1ButtonClick ", [this](const QString& l) { logLine(l); }).step([this] {
        m_db.DeleteAll();
        setCounts(0, 0);
        emit cleared();
    });
}

MessageFolderMove::Result MessageStore::moveFolder(const QString& oldFolder, const QString& newFolder)
{
    return MessageFolderMove::move(m_db, oldFolder, newFolder, [this](const QString& l) { logLine(l); });
}
