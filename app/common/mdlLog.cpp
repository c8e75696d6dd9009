// The daily system and calls logs.
#include "mdlLog.h"

#include "LocaleText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

QString DateTimeFileText(const QString& date, const QString& time)
{
    QString text = date;
    text.replace('/', '-');
    if (!time.isEmpty())
        text += "_" + QString(time).replace(':', '-');
    return text;
}

QString logSafe(const QString& message)
{
    QString out = message;
    for (QChar& c : out) {
        ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            c = ' ';
    }
    return out;
}

mdlLog::mdlLog(QString logFolder, const Clock& clock) : m_folder(std::move(logFolder)), m_clock(clock)
{
    if (!m_folder.endsWith('/'))
        m_folder += '/';
}

QString mdlLog::systemLogName() const
{
    return DateTimeFileText(LocaleText::shortDate(m_clock.now().date()), QString()) + "_Sys.txt";
}

QString mdlLog::callsLogName() const
{
    return DateTimeFileText(LocaleText::shortDate(m_clock.now().date()), QString()) + "_Calls.txt";
}

void mdlLog::WriteSysLog(const QString& message) const
{
    if (m_systemSwitch != 0)
        append(systemLogName(), message);
}

void mdlLog::WriteCallsLog(const QString& message) const
{
    if (m_callsSwitch != 0)
        append(callsLogName(), message);
}

void mdlLog::append(const QString& fileName, const QString& message) const
{
    // A lost line is silent by design: a missing folder or a full disk must not stop the program.
    QFile file(m_folder + fileName);
    // Logs name callers: readable by their owner only.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFile::ReadOwner | QFile::WriteOwner))
        return;
    QString line = LocaleText::timeWithSeconds(m_clock.now().time()) + " : " + logSafe(message) + "\r\n";
    file.write(line.toUtf8());
    file.flush();
    file.close();
}

QStringList mdlLog::logFileNames(const QString& kind) const
{
    QString pattern = "*.txt";
    if (kind == "System")
        pattern = "*_Sys.txt";
    else if (kind == "Calls")
        pattern = "*_Calls.txt";
    return QDir(m_folder).entryList({pattern}, QDir::Files, QDir::Unsorted);
}

bool mdlLog::isLogFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains('/') && !name.contains('\\') && !name.contains(QChar(0));
}

bool mdlLog::ReadLogFile(const QString& name, QStringList& lines) const
{
    // A name from outside the folder's own listing never reads another folder.
    if (!isLogFileName(name))
        return false;
    QFile file(m_folder + name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    lines.clear();
    QTextStream in(&file);
    while (!in.atEnd())
        lines << in.readLine();
    return true;
}

void mdlLog::DeleteLogFile(const QString& name) const
{
    if (!isLogFileName(name))
        return;
    QFile::remove(m_folder + name);
}

void mdlLog::PurgeLogs(int months) const
{
    const QDateTime cutoff(m_clock.now().date().addMonths(months), QTime(0, 0));
    const QFileInfoList files = QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QFileInfo& file : files) {
        QCoreApplication::processEvents();
        if (cutoff >= file.lastModified())
            QFile::remove(file.absoluteFilePath());
    }
}

int mdlLog::monthsToKeep(const QString& logFor)
{
    if (logFor == "1 Last Month")
        return -1;
    if (logFor == "2 Last Month")
        return -2;
    if (logFor == "3 Last Month")
        return -3;
    return 0;
}
