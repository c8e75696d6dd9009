// Appending calls to the call database.
#include "CallStore.h"

#include "CallDatabase.h"
#include "CallDatabaseRebuild.h"
#include "ErrorTrap.h"
#include "MessageStore.h"
#include "PrivateFiles.h"
#include "VbError.h"
#include "WaveControl.h"
#include "mdlLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSaveFile>
#include <QSet>

CallStore::CallStore(kalvo::CallDatabase& db, WaveControl& wave1, mdlLog& log)
    : m_db(db), m_wave1(wave1), m_log(log)
{
}

bool CallStore::openAtStart(const QString& callsFolder, const ErrorTrap& trap,
                            const std::function<void(const QString&)>& tell,
                            const QStringList& messageFolders)
{
    QString why;
    int error = 0;
    bool opened = trap.step([&] {
        try {
            m_db.Open(callsFolder);
        } catch (const kalvo::VbError& e) {
            error = e.number();
            why = QString::number(e.number()) + " " + QString::fromStdString(e.description());
            throw;
        }
    });
    constexpr int kDamaged = 3343;
    if (!opened && error == kDamaged && !messageFolders.isEmpty()) {
        m_rebuilt = CallDatabaseRebuild(m_db, m_wave1, m_log).rebuild(callsFolder, messageFolders);
        opened = !m_rebuilt.isEmpty();
    }
    m_pendingFolder = callsFolder + "/pending";
    if (!opened)
        tell("The call database in " + callsFolder + " cannot be opened" +
             (why.isEmpty() ? QString() : " (" + why + ")") +
             ". Calls are still kept, and each is listed once Kalvo starts with a database it can use.");
    else
        storePending();
    return opened;
}

namespace {
// The stored fields of a call, in the order they are written.
namespace F = kalvo::CallField;
const char* const kRecordFields[] = {F::Name, F::Number, F::Time, F::Date, F::MessageName, F::Type};
} // namespace

bool CallStore::storeRecord(const QStringList& values, const ErrorTrap& trap)
{
    // Each database step on its own, so a failed one still lets the record be completed.
    trap.step([&] { m_db.AddNew(); });
    for (int i = 0; i < 6; ++i)
        trap.step([&] { m_db.SetField(kRecordFields[i], values.value(i)); });
    trap.step([&] { m_db.SetField(F::Read, qint16(0)); });
    return trap.step([&] { m_db.Update(); });
}

bool CallStore::queue(const CurrentCall& call, const QString& messagesFolder)
{
    QJsonObject record;
    const QStringList values = recordValues(call, messagesFolder);
    for (int i = 0; i < 6; ++i)
        record[kRecordFields[i]] = values.value(i);
    if (m_pendingFolder.isEmpty() || !PrivateFiles::makeFolder(m_pendingFolder))
        return false;
    QSaveFile file(m_pendingFolder + "/" + QString::number(QDateTime::currentMSecsSinceEpoch()) + "-" +
                   QString::number(++m_queued) + ".call");
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    return file.commit();
}

int CallStore::storePending()
{
    if (m_pendingFolder.isEmpty())
        return 0;
    const QDir folder(m_pendingFolder);
    const QStringList names = folder.entryList({"*.call"}, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return 0;
    const ErrorTrap trap("ErrPutCallDetailsInDB ", [this](const QString& line) { m_log.WriteSysLog(line); });
    // A queued call whose file could not be removed after it was stored is recognised by its fields
    // and not stored again.
    QSet<QString> stored;
    trap.step([&] {
        m_db.ForEachRecord([&](const kalvo::CallDatabase::RecordTexts& texts) {
            QStringList values;
            for (int i = 0; i < 6; ++i)
                values << QString::fromUtf8(texts[size_t(i)].data(), qsizetype(texts[size_t(i)].size()));
            stored.insert(values.join(QChar(0)));
        });
    });
    int count = 0;
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject record = QJsonDocument::fromJson(file.read(64 * 1024)).object();
        file.close();
        QStringList values;
        for (const char* field : kRecordFields)
            values << record.value(field).toString();
        const QString caller = " [" + values[0] + ":" + values[1] + "]";
        if (!stored.contains(values.join(QChar(0)))) {
            if (!storeRecord(values, trap)) {
                // This one waits for the next try; the others are stored meanwhile.
                m_log.WriteSysLog("Queued Call Not Stored " + name + caller);
                continue;
            }
            stored.insert(values.join(QChar(0)));
            m_log.WriteSysLog("Queued Call Stored " + name + caller);
            ++count;
        }
        if (!file.remove())
            m_log.WriteSysLog("Queued Call Not Removed " + name + caller);
    }
    return count;
}

QStringList CallStore::recordValues(const CurrentCall& call, const QString& messagesFolder) const
{
    QString type = "-1";
    if (call.GotMessage)
        ErrorTrap("ErrPutCallDetailsInDB ", [this](const QString& line) {
            m_log.WriteSysLog(line);
        }).step([&] {
            type = lengthText(
                WaveFileLength(m_wave1, MessageStore::messagePath(messagesFolder, call.MessageFile)));
        });
    return {call.CallerName, call.CallerNumber, call.CallTime, call.CallDate, call.MessageFile, type};
}

bool CallStore::PutCallDetailsInDB(const CurrentCall& call, const QString& messagesFolder)
{
    const ErrorTrap trap("ErrPutCallDetailsInDB ", [this](const QString& line) { m_log.WriteSysLog(line); });
    const bool stored = storeRecord(recordValues(call, messagesFolder), trap);
    m_log.WriteCallsLog(callsLogLine(call));
    return stored;
}

bool CallStore::attachMessage(const QString& messageFile, const QString& messagesFolder,
                              const QString& audioFile)
{
    const QString target = MessageStore::messagePath(messagesFolder, messageFile);
    if (QFileInfo::exists(target))
        return false;
    ErrorTrap trap("ErrPutCallDetailsInDB ", [this](const QString& line) { m_log.WriteSysLog(line); });
    int record = 0;
    trap.step([&] {
        const int count = m_db.RecordCount();
        for (int r = count; r >= 1 && record == 0; --r) {
            m_db.MoveTo(r);
            if (m_db.GetField(kalvo::CallField::MessageName) == messageFile)
                record = r;
        }
    });
    if (record == 0)
        return false;
    QDir().mkpath(QFileInfo(target).path());
    if (!QFile::copy(audioFile, target))
        return false;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return trap.step([&] {
        m_db.MoveTo(record);
        m_db.Edit();
        m_db.SetField(kalvo::CallField::Type, lengthText(WaveFileLength(m_wave1, target)));
        m_db.Update();
    });
}

bool CallStore::keepsCall(int16_t listMessageOnly, bool gotMessage)
{
    return listMessageOnly == 0 || (listMessageOnly == 1 && gotMessage);
}

QString CallStore::messageFileName(const QString& messagesFolder, const QString& date, const QString& time)
{
    const QString stem = DateTimeFileText(date, time);
    QString name = stem + ".wav";
    for (int n = 2; QFileInfo::exists(messagesFolder + name); ++n)
        name = stem + "_" + QString::number(n) + ".wav";
    return name;
}

QString CallStore::lengthText(double length)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(length, 'g', 15);
}

QString CallStore::callsLogLine(const CurrentCall& call)
{
    return "Ring:" + call.RingsAtAnswer + " [" + call.CallerName + ":" + call.CallerNumber + "]";
}
