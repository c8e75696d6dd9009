// The daily logs on a real folder: switches, line format and order, file names per locale,
// purging by calendar months, and listing by kind.
#include "TestSupport.h"
#include "mdlLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

class LogTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString folder() const { return m_dir.path() + "/Log/"; }
    QByteArray read(const QString& name) const
    {
        QFile file(folder() + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void touch(const QString& name, const QDateTime& modified) const
    {
        QFile file(folder() + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
    }

    // With both switches off nothing is created; each switch opens only its own log.
    void switchesDecideWhatIsWritten()
    {
        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(14, 5, 7)));
        mdlLog log(folder(), clock);
        log.WriteSysLog("Load Kalvo");
        log.WriteCallsLog("Load Kalvo");
        QVERIFY(QDir(folder()).entryList(QDir::Files).isEmpty());

        log.setCallsSwitch(1);
        log.WriteSysLog("system line");
        log.WriteCallsLog("calls line");
        QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{"12-7-26_Calls.txt"});
        QCOMPARE(read("12-7-26_Calls.txt"), QByteArray("2:05:07 PM : calls line\r\n"));
    }

    // Two lines in the same second both land, in call order; line breaks in a message cannot
    // start a forged line.
    void linesKeepOrderAndStayOnOneLine()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(14, 5, 7)));
        mdlLog log(folder(), clock);
        log.setSystemSwitch(1);
        log.WriteSysLog("Load Kalvo");
        log.WriteSysLog("Ring:2 [Eve\r\n14:05:08 : Unload Kalvo:555\x01]");
        QCOMPARE(log.systemLogName(), QString("07.12.26_Sys.txt"));
        QCOMPARE(read("07.12.26_Sys.txt"),
                 QByteArray("14:05:07 : Load Kalvo\r\n"
                            "14:05:07 : Ring:2 [Eve  14:05:08 : Unload Kalvo:555 ]\r\n"));
    }

    // The file-name text swaps "/" and ":" for "-" and nothing else.
    void dateTimeFileText()
    {
        QCOMPARE(DateTimeFileText("12/7/2026", ""), QString("12-7-2026"));
        QCOMPARE(DateTimeFileText("12/7/2026", "14:05:07"), QString("12-7-2026_14-05-07"));
        QCOMPARE(DateTimeFileText("07.12.2026", "2:05:07 PM"), QString("07.12.2026_2-05-07 PM"));
    }

    // On 31 March one month back is the end of February: files up to that midnight go, any name.
    void purgeClampsTheDayOfTheMonth()
    {
        FixedClock clock(QDateTime(QDate(2026, 3, 31), QTime(9, 0)));
        const QDateTime cutoff(QDate(2026, 2, 28), QTime(0, 0));
        touch("old_Sys.txt", cutoff.addSecs(-3600));
        touch("edge_Calls.txt", cutoff);
        touch("notes.dat", cutoff.addDays(-40));
        touch("after_Sys.txt", cutoff.addSecs(1));
        touch("recent_Calls.txt", QDateTime(QDate(2026, 3, 30), QTime(12, 0)));
        mdlLog log(folder(), clock);
        log.PurgeLogs(mdlLog::monthsToKeep("1 Last Month"));
        QStringList left = QDir(folder()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(left, (QStringList{"after_Sys.txt", "recent_Calls.txt"}));

        QCOMPARE(mdlLog::monthsToKeep("3 Last Month"), -3);
        QCOMPARE(mdlLog::monthsToKeep("For Ever!"), 0);
        QCOMPARE(mdlLog::monthsToKeep("Not Found"), 0);
    }

    // Each kind lists only its own files; a file reads back line by line and can be deleted.
    void listReadAndDelete()
    {
        const QDateTime now = QDateTime::currentDateTime();
        for (const char* name :
             {"1-1-26_Sys.txt", "1-1-26_Calls.txt", "2-1-26_Calls.txt", "readme.txt", "x.log"})
            touch(name, now);
        mdlLog log(folder());
        QStringList shown = log.logFileNames("Calls");
        shown.sort();
        QCOMPARE(shown, (QStringList{"1-1-26_Calls.txt", "2-1-26_Calls.txt"}));
        QCOMPARE(log.logFileNames("System"), QStringList{"1-1-26_Sys.txt"});
        QCOMPARE(log.logFileNames("All").size(), 4);

        QFile file(folder() + "1-1-26_Sys.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("10:00:00 : Load Kalvo\r\n10:00:01 : LineInitialize->\r\n");
        file.close();
        QStringList lines{"stale line"};
        QVERIFY(log.ReadLogFile("1-1-26_Sys.txt", lines));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(1), QString("10:00:01 : LineInitialize->"));

        log.DeleteLogFile("1-1-26_Sys.txt");
        QVERIFY(log.logFileNames("System").isEmpty());
    }

    // A missing log folder loses the line quietly rather than creating anything elsewhere.
    void missingFolderLosesTheLineQuietly()
    {
        mdlLog log(m_dir.path() + "/NoSuchFolder/");
        log.setSystemSwitch(1);
        log.WriteSysLog("lost");
        QVERIFY(!QDir(m_dir.path() + "/NoSuchFolder").exists());
    }
};

QTEST_MAIN(LogTest)
#include "LogTest.moc"
