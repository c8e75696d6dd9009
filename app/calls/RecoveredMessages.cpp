// Interrupted recordings back into the call list.
#include "RecoveredMessages.h"

#include "CallStore.h"
#include "CurrentCall.h"
#include "ErrorTrap.h"
#include "LocaleText.h"
#include "MessageStore.h"
#include "RecordingFile.h"
#include "mdlLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// The details are kept under the names of the record's fields.
namespace F = kalvo::CallField;
const char* const kFields[] = {F::Name, F::Number, F::Date, F::Time};

bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The process id in "rec-<pid>-<n>.part.wav", 0 for other names.
qint64 writerOf(const QString& name)
{
    const QStringList fields = name.split('-');
    return fields.size() >= 3 && fields[0] == QLatin1String("rec") ? fields[1].toLongLong() : 0;
}

} // namespace

RecoveredMessages::RecoveredMessages(CallStore& store, mdlLog& log) : m_store(store), m_log(log) {}

QString RecoveredMessages::detailsPath(const QString& spoolFile)
{
    QString path = spoolFile;
    if (path.endsWith(QLatin1String(".part.wav")))
        path.chop(int(qstrlen(".part.wav")));
    else if (path.endsWith(QLatin1String(".wav")))
        path.chop(4);
    return path + ".call";
}

QString RecoveredMessages::newestOwnPart(const QString& spoolFolder)
{
    // This process's spool files are numbered in order: the highest is the one just started.
    const QString prefix = "rec-" + QString::number(::getpid()) + "-";
    QString newest;
    qint64 newestNumber = -1;
    for (const QString& name : QDir(spoolFolder).entryList({prefix + "*.part.wav"}, QDir::Files)) {
        const qint64 number = name.mid(prefix.size()).section('.', 0, 0).toLongLong();
        if (number > newestNumber)
            newestNumber = number, newest = name;
    }
    return newest.isEmpty() ? QString() : QDir(spoolFolder).filePath(newest);
}

bool RecoveredMessages::writeDetails(const QString& path, const QJsonObject& details)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(QJsonDocument(details).toJson(QJsonDocument::Compact));
    return file.commit();
}

bool RecoveredMessages::noteRecordingStarted(const QString& spoolFolder, const CurrentCall& call)
{
    const QString part = newestOwnPart(spoolFolder);
    if (part.isEmpty())
        return false;
    QJsonObject details;
    const QString values[] = {call.CallerName, call.CallerNumber, call.CallDate, call.CallTime};
    for (int i = 0; i < 4; ++i)
        details[kFields[i]] = values[i];
    return writeDetails(detailsPath(part), details);
}

bool RecoveredMessages::noteMessageFile(const QString& spoolFolder, const QString& messageFile)
{
    const QString part = newestOwnPart(spoolFolder);
    if (part.isEmpty())
        return false;
    QFile existing(detailsPath(part));
    QJsonObject details;
    if (existing.open(QIODevice::ReadOnly))
        details = QJsonDocument::fromJson(existing.read(64 * 1024)).object();
    existing.close();
    details[F::MessageName] = messageFile;
    return writeDetails(detailsPath(part), details);
}

bool RecoveredMessages::noteGreetingTake(const QString& spoolFolder)
{
    const QString part = newestOwnPart(spoolFolder);
    return !part.isEmpty() && writeDetails(detailsPath(part), QJsonObject{{"Greeting", true}});
}

void RecoveredMessages::noteRecordingEnded(const QString& spoolFolder)
{
    QDir dir(spoolFolder);
    const QString prefix = "rec-" + QString::number(::getpid()) + "-";
    for (const QString& name : dir.entryList({prefix + "*.call"}, QDir::Files)) {
        const QString part = name.chopped(int(qstrlen(".call"))) + ".part.wav";
        if (!dir.exists(part))
            dir.remove(name);
    }
}

int RecoveredMessages::recover(const QString& spoolFolder, const QString& messagesFolder,
                               const QString& takeFile)
{
    QDir dir(spoolFolder);
    const QString messages = MessageStore::folderOf(messagesFolder);
    int stored = 0;
    const QStringList names =
        dir.entryList({"rec-*.part.wav", "interrupted-*.wav"}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString& name : names) {
        const qint64 writer = writerOf(name);
        if (writer != 0 && processRuns(writer))
            continue; // still being written
        stored += recoverOne(dir.filePath(name), messages, takeFile) ? 1 : 0;
    }
    return stored;
}

bool RecoveredMessages::recoverOne(const QString& spoolFile, const QString& messagesFolder,
                                   const QString& takeFile)
{
    ErrorTrap trap("ErrRecoverMessage ", [this](const QString& l) { m_log.WriteSysLog(l); });
    CurrentCall call;
    const QString details = detailsPath(spoolFile);
    QFile detailsFile(details);
    QString storedMessage;
    if (detailsFile.open(QIODevice::ReadOnly)) {
        const QJsonObject saved = QJsonDocument::fromJson(detailsFile.read(64 * 1024)).object();
        storedMessage = saved.value(F::MessageName).toString();
        if (saved.value("Greeting").toBool()) {
            // The greeting creator's take: back to the creator, never a call.
            if (takeFile.isEmpty())
                return false;
            QFile::remove(takeFile);
            if (!QFile::copy(spoolFile, takeFile))
                return false;
            QFile::setPermissions(takeFile, QFile::ReadOwner | QFile::WriteOwner);
            m_log.WriteSysLog("Recovered Greeting Take " + QFileInfo(takeFile).fileName() + " from " +
                              QFileInfo(spoolFile).fileName());
            QFile::remove(spoolFile);
            QFile::remove(details);
            return false;
        }
        call.CallerName = saved.value(F::Name).toString(call.CallerName);
        call.CallerNumber = saved.value(F::Number).toString(call.CallerNumber);
        call.CallDate = saved.value(F::Date).toString();
        call.CallTime = saved.value(F::Time).toString();
    }
    // The call was stored but its message file could not be written: the audio joins that record.
    if (!storedMessage.isEmpty() && m_store.attachMessage(storedMessage, messagesFolder, spoolFile)) {
        m_log.WriteSysLog("Recovered Message " + storedMessage + " [" + call.CallerName + ":" +
                          call.CallerNumber + "] from " + QFileInfo(spoolFile).fileName() +
                          " joins its call");
        QFile::remove(spoolFile);
        QFile::remove(details);
        return true;
    }
    // Without details the file's own time stands for the call's.
    const QDateTime written = QFileInfo(spoolFile).lastModified();
    if (call.CallDate.isEmpty())
        call.CallDate = LocaleText::shortDate(written.date());
    if (call.CallTime.isEmpty())
        call.CallTime = LocaleText::timeWithSeconds(written.time());
    call.MessageFile = CallStore::messageFileName(messagesFolder, call.CallDate, call.CallTime);
    call.GotMessage = true;

    const QString message = MessageStore::messagePath(messagesFolder, call.MessageFile);
    QDir().mkpath(messagesFolder);
    if (!QFile::copy(spoolFile, message)) {
        trap.step(
            [&] { throw std::runtime_error(("cannot copy " + spoolFile + " to " + message).toStdString()); });
        return false;
    }
    QFile::setPermissions(message, QFile::ReadOwner | QFile::WriteOwner);
    if (!m_store.PutCallDetailsInDB(call, messagesFolder)) {
        QFile::remove(message); // our copy only; the recording stays in the spool for the next start
        return false;
    }
    m_log.WriteSysLog("Recovered Message " + call.MessageFile + " [" + call.CallerName + ":" +
                      call.CallerNumber + "] from " + QFileInfo(spoolFile).fileName());
    QFile::remove(spoolFile);
    QFile::remove(details);
    return true;
}

bool RecoveredMessages::openAtStart(CallStore& store, mdlLog& log, const QString& programFolder,
                                    const QString& messagesSetting, const ErrorTrap& trap,
                                    const std::function<void(const QString&)>& tell,
                                    const std::function<void(const QString&)>& rebuilt)
{
    const QStringList messageFolders{MessageStore::folderOf(messagesSetting), programFolder + "/Messages/"};
    const bool opened = store.openAtStart(programFolder + "/Calls", trap, tell, messageFolders);
    if (!store.rebuilt().isEmpty())
        rebuilt(store.rebuilt());
    if (!opened)
        return false;
    RecoveredMessages(store, log)
        .recover(kalvo::sound::RecordingFile::defaultSpoolFolder(), messagesSetting,
                 programFolder + "/spktmp.wav");
    return true;
}
