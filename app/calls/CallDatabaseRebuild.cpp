// Rebuilding a damaged call database from what it still holds and from the message files.
#include "CallDatabaseRebuild.h"

#include "CallStore.h"
#include "CallerIdentity.h"
#include "DamagedCallsReader.h"
#include "LocaleText.h"
#include "MessageStore.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"
#include "mdlLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

struct CallDatabaseRebuild::Call
{
    kalvo::DamagedCallsReader::Record fields;
    QDateTime when; // orders the calls from message files among the others
};

namespace {

enum Field { Name, Number, Time, Date, MessageFile, Type, Read };

// A message file's name as the recording step makes it: date and time with their separators turned
// into "-", "_" between them, perhaps "_2", "_3", ... before ".wav".
const QRegularExpression kMessageName(QStringLiteral("^([0-9][^_]*)_([0-9][^_]*?)(_[0-9]+)?\\.wav$"));

QStringList pendingMessageFiles(const QString& pendingFolder)
{
    QStringList names;
    const QDir folder(pendingFolder);
    for (const QString& name : folder.entryList({"*.call"}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            names << QJsonDocument::fromJson(file.read(64 * 1024))
                         .object()
                         .value("Call_Massage_Name")
                         .toString();
    }
    return names;
}

} // namespace

CallDatabaseRebuild::CallDatabaseRebuild(kalvo::CallDatabase& db, WaveControl& wave1, mdlLog& log)
    : m_db(db), m_wave1(wave1), m_log(log)
{
}

QString CallDatabaseRebuild::moveAside(const QString& file) const
{
    const QString aside =
        file + ".damaged-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(file, aside))
        return {};
    // The log files go with it, under its new name, so the kept copy stays whole.
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(file + suffix))
            QFile::rename(file + suffix, aside + suffix);
    }
    return aside;
}

QString CallDatabaseRebuild::rebuild(const QString& callsFolder, const QStringList& messageFolders)
{
    const QString file = QDir(callsFolder).filePath(QLatin1String(kalvo::SqliteCallDatabase::FileName));
    const kalvo::DamagedCallsReader damaged(file);
    if (!damaged.isCallDatabase())
        return {};
    const QString aside = moveAside(file);
    if (aside.isEmpty())
        return {};
    try {
        m_db.Open(callsFolder);
    } catch (const kalvo::VbError& e) {
        m_log.WriteSysLog("ErrRebuildCallDatabase " + QString::number(e.number()) + " " +
                          QString::fromStdString(e.description()));
        return {};
    }

    // Each recovered call takes the time of its message file, or of the call before it, so the
    // calls found only as files fall in among them where they were taken.
    QList<Call> calls;
    QStringList listed = pendingMessageFiles(callsFolder + "/pending");
    QDateTime when;
    for (const auto& fields : damaged.records()) {
        if (fields[Type] != QLatin1String("-1")) {
            const QString path = MessageStore::messagePath(messageFolders.value(0), fields[MessageFile]);
            listed << path;
            const QFileInfo info(path);
            if (info.exists())
                when = std::max(when, info.lastModified());
        }
        calls.append({fields, when});
    }
    const QList<Call> fromFiles = unlistedMessages(messageFolders, listed);
    calls.append(fromFiles);
    std::stable_sort(calls.begin(), calls.end(),
                     [](const Call& a, const Call& b) { return a.when < b.when; });
    int stored = 0;
    for (const Call& call : calls)
        stored += append(call) ? 1 : 0;

    const QString text = QString("The call database was damaged; it was kept as %1 and a new one was made: "
                                 "%2 calls came back (%3 from the database, %4 from message files)")
                             .arg(QFileInfo(aside).fileName())
                             .arg(stored)
                             .arg(damaged.records().size())
                             .arg(fromFiles.size());
    m_log.WriteSysLog(text);
    return text;
}

QList<CallDatabaseRebuild::Call> CallDatabaseRebuild::unlistedMessages(const QStringList& messageFolders,
                                                                       const QStringList& listed) const
{
    QList<Call> calls;
    const QString messages = messageFolders.value(0);
    QStringList folders = messageFolders;
    folders.removeDuplicates(); // the messages folder may be the program folder's own
    for (const QString& folder : std::as_const(folders)) {
        const QDir dir(folder);
        for (const QFileInfo& info : dir.entryInfoList({"*.wav"}, QDir::Files)) {
            const QRegularExpressionMatch name = kMessageName.match(info.fileName());
            const QString messageFile = folder == messages ? info.fileName() : info.absoluteFilePath();
            if (!name.hasMatch() || listed.contains(MessageStore::messagePath(messages, messageFile)))
                continue;
            // The name holds the call's date and time with "-" for their separators; the locale's own
            // date text is taken back where it gives that name.
            const QDate written = info.lastModified().date();
            QString date = LocaleText::shortDate(written);
            if (QString(date).replace('/', '-') != name.captured(1))
                date = name.captured(1).replace('-', '/');
            Call call;
            call.fields = {CallerIdentity().nameText(),
                           CallerIdentity().numberText(),
                           name.captured(2).replace('-', ':'),
                           date,
                           messageFile,
                           QStringLiteral("0"),
                           QStringLiteral("0")};
            try {
                call.fields[Type] = CallStore::lengthText(WaveFileLength(m_wave1, info.absoluteFilePath()));
            } catch (const kalvo::VbError&) {
                // Listed all the same, so the owner sees it; the player tells what is wrong with it.
            }
            call.when = info.lastModified();
            calls.append(call);
        }
    }
    return calls;
}

bool CallDatabaseRebuild::append(const Call& call)
{
    static const char* const names[] = {"Call_Name",         "Call_Number", "Call_Time", "Call_Date",
                                        "Call_Massage_Name", "Type",        "Read"};
    try {
        m_db.AddNew();
        for (int i = 0; i < 7; ++i)
            m_db.SetField(names[i], call.fields[size_t(i)]);
        m_db.Update();
        return true;
    } catch (const kalvo::VbError& e) {
        m_log.WriteSysLog("ErrRebuildCallDatabase " + QString::number(e.number()) + " " +
                          QString::fromStdString(e.description()));
        return false;
    }
}
