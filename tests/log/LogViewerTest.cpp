// The log viewer and its properties on real log files of several days: listing by kind, reading,
// the horizontal extent, delete with and without the question, save-as through the main window,
// the switches taking effect at once, and retention on "OK".
#include "EngineRig.h"
#include "FileDialog.h"
#include "MessageBox.h"
#include "ModalDialogs.h"
#include "frmLog.h"
#include "frmLogProp.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

using kalvo::test::onDialog;

namespace {
void store(const char* name, const QString& value)
{
    mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);
}

QString stored(const char* name)
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name);
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// Writes a log file of the folder with these lines, last modified daysAgo days back.
void writeLog(const QString& folder, const QString& name, const QStringList& lines, int daysAgo)
{
    QFile file(folder + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((lines.join("\r\n") + "\r\n").toUtf8());
    QVERIFY(file.flush());
    QVERIFY(
        file.setFileTime(QDateTime::currentDateTime().addDays(-daysAgo), QFileDevice::FileModificationTime));
}

} // namespace

class LogViewerTest : public QObject
{
    Q_OBJECT

private:
    // Three days of both kinds in the rig's log folder, besides today's own files.
    void seed(EngineRig& rig)
    {
        const QString folder = rig.form().log().folder();
        for (int day : {1, 2, 3}) {
            const QString date = QString("12-%1-2026").arg(day);
            writeLog(folder, date + "_Sys.txt",
                     {"10:00:00 : Load Kalvo", "10:00:01 : LineOpen[LineIndex:0]->Success."}, day);
            writeLog(folder, date + "_Calls.txt", {"10:01:00 : Ring:3 [Alice:5551234]"}, day);
        }
    }

private slots:
    void init() { MessageBox::clearShown(); }

    // The viewer lists every log, only "_Calls.txt" names for "Calls", shows a file's lines, and
    // gives the details list the widest line's width plus 50; a long line scrolls horizontally.
    void listsByKindAndShowsAFile()
    {
        EngineRig rig(Values{{"LogFor", "For Ever!"}});
        seed(rig);
        const QString folder = rig.form().log().folder();
        const QString longLine = "10:02:00 : " + QString("x").repeated(400);
        writeLog(folder, "12-4-2026_Sys.txt", {"short", longLine}, 4);
        frmLog viewer(rig.form().log(), nullptr);
        viewer.show();
        auto* list1 = viewer.findChild<QListWidget*>("List1");
        auto* list2 = viewer.findChild<QListWidget*>("List2");
        auto* kind = viewer.findChild<QComboBox*>("cmbWhatToShow");
        QCOMPARE(viewer.windowTitle(), QString("Kalvo - Log"));
        QCOMPARE(kind->currentText(), QString("All"));
        QVERIFY(texts(list1).contains("12-2-2026_Calls.txt") && texts(list1).contains("12-4-2026_Sys.txt"));
        QCOMPARE(texts(list1).size(), QDir(folder).entryList({"*.txt"}, QDir::Files).size());

        kind->setCurrentText("Calls");
        viewer.cmbWhatToShowClick();
        QVERIFY(texts(list1).size() >= 3);
        for (const QString& name : texts(list1))
            QVERIFY2(name.endsWith("_Calls.txt"), qPrintable(name));

        kind->setCurrentText("System");
        viewer.cmbWhatToShowClick();
        list1->setCurrentRow(texts(list1).indexOf("12-4-2026_Sys.txt"));
        viewer.List1Click();
        QCOMPARE(texts(list2), (QStringList{"short", longLine}));
        QCOMPARE(viewer.horizontalExtent(), list2->fontMetrics().horizontalAdvance(longLine) + 50);
        QTRY_VERIFY(list2->horizontalScrollBar()->maximum() > 0);

        list1->setCurrentRow(texts(list1).indexOf("12-1-2026_Sys.txt"));
        viewer.List1Click();
        QCOMPARE(viewer.horizontalExtent(),
                 list2->fontMetrics().horizontalAdvance("10:00:01 : LineOpen[LineIndex:0]->Success.") + 50);
    }

    // "cWornBeforeDelete" = 1 asks "Delete <name> ?": No keeps the file, Yes deletes it; the list is
    // refilled for the same kind and the details are cleared. Any other value deletes at once.
    void deleteWithAndWithoutTheQuestion()
    {
        EngineRig rig(Values{{"LogFor", "For Ever!"}, {"cWornBeforeDelete", "1"}});
        seed(rig);
        const QString folder = rig.form().log().folder();
        frmLog viewer(rig.form().log(), nullptr);
        auto* list1 = viewer.findChild<QListWidget*>("List1");
        auto* list2 = viewer.findChild<QListWidget*>("List2");
        auto* kind = viewer.findChild<QComboBox*>("cmbWhatToShow");
        kind->setCurrentText("Calls");
        viewer.cmbWhatToShowClick();
        list1->setCurrentRow(texts(list1).indexOf("12-1-2026_Calls.txt"));
        viewer.List1Click();
        QCOMPARE(list2->count(), 1);

        MessageBox::scriptAnswers({MessageBox::No});
        viewer.cmdDeleteClick();
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Delete 12-1-2026_Calls.txt ?"});
        QVERIFY(QFile::exists(folder + "12-1-2026_Calls.txt"));
        QCOMPARE(list2->count(), 1);

        MessageBox::scriptAnswers({MessageBox::Yes});
        viewer.cmdDeleteClick();
        QVERIFY(!QFile::exists(folder + "12-1-2026_Calls.txt"));
        QVERIFY(!texts(list1).contains("12-1-2026_Calls.txt"));
        for (const QString& name : texts(list1))
            QVERIFY2(name.endsWith("_Calls.txt"), qPrintable(name));
        QCOMPARE(list2->count(), 0);

        MessageBox::clearShown();
        store("cWornBeforeDelete", "0");
        list1->setCurrentRow(texts(list1).indexOf("12-2-2026_Calls.txt"));
        viewer.cmdDeleteClick();
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(!QFile::exists(folder + "12-2-2026_Calls.txt"));
    }

    // A name that is not a plain file of the log folder is never read or deleted.
    void namesStayInTheLogFolder()
    {
        EngineRig rig;
        const mdlLog& log = rig.form().log();
        const QString outside = rig.programFolder() + "/keep.txt";
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("secret\n");
        file.close();
        log.DeleteLogFile("../keep.txt");
        QVERIFY(QFile::exists(outside));
        QStringList lines;
        QVERIFY(!log.ReadLogFile("../keep.txt", lines));
        QVERIFY(lines.isEmpty());
        QVERIFY(!mdlLog::isLogFileName("..") && !mdlLog::isLogFileName("a/b") &&
                mdlLog::isLogFileName("1-1-26_Sys.txt"));
    }

    // From the main window: the "Log" key opens the viewer modally; "Save As" copies the chosen
    // file through the main window's save routine to the path the save dialog returns.
    void saveAsFromTheMainWindow()
    {
        EngineRig rig(Values{{"LogFor", "For Ever!"}});
        seed(rig);
        rig.start();
        const QString target = rig.programFolder() + "/copy.txt";
        bool opened = false;
        onDialog("frmLog", [&](QWidget* dialog) {
            opened = true;
            auto* viewer = static_cast<frmLog*>(dialog);
            auto* list1 = viewer->findChild<QListWidget*>("List1");
            list1->setCurrentRow(texts(list1).indexOf("12-3-2026_Sys.txt"));
            FileDialog::scriptNext(target);
            viewer->findChild<QPushButton*>("cmdSaveAs")->click();
            viewer->reject();
        });
        rig.form().Toolbar1ButtonClick("Log");
        QVERIFY(opened);
        QFile copy(target);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(),
                 QByteArray("10:00:00 : Load Kalvo\r\n10:00:01 : LineOpen[LineIndex:0]->Success.\r\n"));
    }

    // OK stores the four settings, switches the running logs at once (the next line of the calls log
    // is not written, the system log's is), and with "1 Last Month" deletes the files older than a
    // month before the dialog closes. Cancel stores nothing.
    void propertiesTakeEffectAtOnce()
    {
        EngineRig rig(Values{{"LogFor", "For Ever!"}, {"cWornBeforeDelete", "0"}, {"NumOfRing", "1"}});
        seed(rig);
        mdlLog& log = rig.form().log();
        const QString folder = log.folder();
        writeLog(folder, "11-1-2026_Sys.txt", {"old"}, 40);
        writeLog(folder, "notes.txt", {"old"}, 45);

        frmLog viewer(log, nullptr);
        {
            frmLogProp cancelled(log, [&] { viewer.ApplyLogRetention(); });
            cancelled.findChild<QCheckBox*>("chkLogCalls")->setChecked(false);
            cancelled.findChild<QPushButton*>("cmdCancel")->click();
            QCOMPARE(stored("cLogCalls"), QString("1"));
            QCOMPARE(log.callsSwitch(), int16_t(1));
        }
        frmLogProp properties(log, [&] { viewer.ApplyLogRetention(); });
        QCOMPARE(properties.windowTitle(), QString("Log Properties"));
        QVERIFY(properties.findChild<QCheckBox*>("chkLogCalls")->isChecked());
        QVERIFY(properties.findChild<QCheckBox*>("chkLogSys")->isChecked());
        QVERIFY(!properties.findChild<QCheckBox*>("chkWornBeforeDelete")->isChecked());
        auto* logFor = properties.findChild<QComboBox*>("cmbLogFor");
        QCOMPARE(logFor->currentText(), QString("For Ever!"));
        properties.findChild<QCheckBox*>("chkLogCalls")->setChecked(false);
        properties.findChild<QCheckBox*>("chkWornBeforeDelete")->setChecked(true);
        logFor->setCurrentText("1 Last Month");
        properties.findChild<QPushButton*>("cmdOK")->click();

        QCOMPARE(stored("cLogCalls"), QString("0"));
        QCOMPARE(stored("cLogSys"), QString("1"));
        QCOMPARE(stored("cWornBeforeDelete"), QString("1"));
        QCOMPARE(stored("LogFor"), QString("1 Last Month"));
        QVERIFY(!QFile::exists(folder + "11-1-2026_Sys.txt"));
        QVERIFY(!QFile::exists(folder + "notes.txt"));
        QVERIFY(QFile::exists(folder + "12-3-2026_Sys.txt"));

        // The running program's next call follows the new switches, without a restart: its line
        // goes to the system log but not to the calls log.
        rig.start();
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(rig.sysLog().contains("Idle[LineIndex:0]"));
        QVERIFY(rig.callsLog().filter("Ring:").isEmpty());
    }
};

QTEST_MAIN(LogViewerTest)
#include "LogViewerTest.moc"
