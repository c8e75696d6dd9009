// Appending calls to the call database.
#include "CallStore.h"

#include "CallDatabase.h"
#include "ErrorTrap.h"
#include "VbError.h"
#include "WaveControl.h"
#include "mdlLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

CallStore::CallStore(kalvo::CallDatabase& db, WaveControl& wave1, mdlLog& log)
    : m_db(db), m_wave1(wave1), m_log(log)
{
}

bool CallStore::openAtStart(const QString& callsFolder, const ErrorTrap& trap,
                            const std::function<void(const QString&)>& tell)
{
    QString why;
    const bool opened = trap.step([&] {
        try {
            m_db.Open(callsFolder);
        } catch (const kalvo::VbError& e) {
            why = QString::number(e.number()) + " " + QString::fromStdString(e.description());
            throw;
        }
    });
    if (!opened)
        tell("The call database in " + callsFolder + " cannot be opened" +
             (why.isEmpty() ? QString() : " (" + why + ")") +
             ". Calls are neither listed nor kept until Kalvo is started again with it "
             "readable.");
    return opened;
}

bool CallStore::PutCallDetailsInDB(const CurrentCall& call, const QString& messagesFolder)
{
    ErrorTrap trap("ErrPutCallDetailsInDB ", [this](const QString& line) { m_log.WriteSysLog(line); });
    QString type = "-1";
    if (call.GotMessage)
        trap.step([&] {
            type = lengthText(WaveFileLength(m_wave1, messagePath(messagesFolder, call.MessageFile)));
        });
    // Each database step on its own, so a failed one still lets the record be completed.
    trap.step([&] { m_db.AddNew(); });
    trap.step([&] { m_db.SetField("Call_Name", call.CallerName); });
    trap.step([&] { m_db.SetField("Call_Number", call.CallerNumber); });
    trap.step([&] { m_db.SetField("Call_Time", call.CallTime); });
    trap.step([&] { m_db.SetField("Call_Date", call.CallDate); });
    trap.step([&] { m_db.SetField("Call_Massage_Name", call.MessageFile); });
    trap.step([&] { m_db.SetField("Type", type); });
    trap.step([&] { m_db.SetField("Read", qint16(0)); });
    const bool stored = trap.step([&] { m_db.Update(); });
    m_log.WriteCallsLog(callsLogLine(call));
    return stored;
}

bool CallStore::attachMessage(const QString& messageFile, const QString& messagesFolder,
                              const QString& audioFile)
{
    const QString target = messagePath(messagesFolder, messageFile);
    if (QFileInfo::exists(target))
        return false;
    ErrorTrap trap("ErrPutCallDetailsInDB ", [this](const QString& line) { m_log.WriteSysLog(line); });
    int record = 0;
    trap.step([&] {
        const int count = m_db.RecordCount();
        for (int r = count; r >= 1 && record == 0; --r) {
            m_db.MoveTo(r);
            if (m_db.GetField("Call_Massage_Name") == messageFile)
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
        m_db.SetField("Type", lengthText(WaveFileLength(m_wave1, target)));
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

QString CallStore::messagePath(const QString& messagesFolder, const QString& messageFile)
{
    return messageFile.startsWith('/') ? messageFile : messagesFolder + messageFile;
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
