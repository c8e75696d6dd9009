// The options dialog offscreen over a main form on simulated lines, with scripted message and
// folder dialogs: tab choice, saving, the messages-folder browse, greeting delete, start with login
// and moving the open line.
#include "AnsweringEngine.h"
#include "CallDatabase.h"
#include "CallRecords.h"
#include "EngineRig.h"
#include "FileDialog.h"
#include "FrameCommands.h"
#include "LineControl.h"
#include "MessageBox.h"
#include "TelephonyLayer.h"
#include "frmOptions.h"
#include "mdlReg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

using namespace kalvo::test;

namespace {
const QString kTwoLines = "[Line0]\nname = Sim 0\nprovider = sim\n\n[Line1]\nname = Sim 1\nprovider = sim\n";

QString runValue()
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kRunKey, "Kalvo");
}

void pick(frmOptions& dialog, const char* list, const QString& text)
{
    auto* box = dialog.findChild<QComboBox*>(list);
    QVERIFY2(box && box->findText(text) >= 0, list);
    box->setCurrentIndex(box->findText(text));
}

void press(QWidget& dialog, const char* button)
{
    dialog.findChild<QPushButton*>(button)->click();
}

void toolbar(frmOptions& dialog, const char* key)
{
    dialog.findChild<QToolBar*>("tlbrGreetingPlayer")->findChild<QAction*>(key)->trigger();
}

} // namespace

class OptionsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // A menu's tab wins over the first tab that load selects, and only that tab's frame shows;
    // the toolbar key and the four menu items are enabled.
    void menusOpenTheirTab()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        for (const char* name : {"mnuGeneral", "mnuDevices", "mnuAnswerMode", "mnuAdvance"})
            QVERIFY2(form.commands().action(name)->isEnabled(), name);
        const QString wrong =
            menusOpenTheirTabs(form, "Options", {"mnuGeneral", "mnuDevices", "mnuAnswerMode", "mnuAdvance"});
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QStringList tabs;
        frmOptions dialog(form.dialogHost(), &form);
        for (int i = 0; i < 4; ++i)
            tabs << dialog.findChild<QTabBar*>("TabStrip1")->tabText(i);
        QCOMPARE(tabs, (QStringList{"General", "Devices", "Answer Mode", "Advanced"}));
        QCOMPARE(dialog.findChild<QCheckBox*>("chkWornClear")->text(),
                 QString("Warn me before claer calls list"));
    }

    // The slider shows the stored tenths rounded half to even, and "OK" writes tenths back; the
    // lists take their stored values.
    void sliderAndSave()
    {
        for (const auto& [stored, position] : {std::pair{"30", 3}, {"25", 2}, {"35", 4}}) {
            EngineRig rig(
                {{"ValSilence", stored}, {"SecSilence", "45"}, {"MaxRec", "2"}, {"NumOfRing", "7"}});
            frmOptions dialog(rig.form().dialogHost(), &rig.form());
            QCOMPARE(dialog.findChild<QSlider*>("sldSilence")->value(), position);
            QCOMPARE(dialog.findChild<QComboBox*>("cmbSilenceSec")->currentText(), QString("45"));
            QCOMPARE(dialog.findChild<QComboBox*>("txtRecLong")->currentText(), QString("2"));
            QCOMPARE(dialog.findChild<QComboBox*>("txtNumOfRing")->currentText(), QString("7"));
            press(dialog, "cmdOK");
            QCOMPARE(storedSetting("ValSilence"), QString::number(position * 10));
            QCOMPARE(rig.form().settings().options.ValSilence, position * 10);
            QCOMPARE(storedSetting("NumOfRing"), QString("7"));
            QCOMPARE(rig.form().settings().options.NumOfRing, 7);
        }
    }

    // "OK" writes or deletes the start-with-login entry; "Close" leaves it as it was.
    void runValueOnOkOnly()
    {
        EngineRig rig;
        {
            frmOptions dialog(rig.form().dialogHost(), &rig.form());
            dialog.findChild<QCheckBox*>("chkRenOnStart")->setChecked(true);
            press(dialog, "cmdOK");
        }
        QCOMPARE(runValue(), frmOptions::runCommand());
        QVERIFY(runValue().endsWith(" -st"));
        {
            frmOptions dialog(rig.form().dialogHost(), &rig.form());
            QVERIFY(dialog.findChild<QCheckBox*>("chkRenOnStart")->isChecked());
            dialog.findChild<QCheckBox*>("chkRenOnStart")->setChecked(false);
            press(dialog, "cmdCancel");
        }
        QCOMPARE(runValue(), frmOptions::runCommand());
        {
            frmOptions dialog(rig.form().dialogHost(), &rig.form());
            dialog.findChild<QCheckBox*>("chkRenOnStart")->setChecked(false);
            press(dialog, "cmdOK");
        }
        QCOMPARE(runValue(), mdlReg::kNotFound);
    }

    // Remote access with an empty password, or one a telephone cannot key, is refused with a reason
    // and nothing is saved.
    void remoteAccessNeedsPassword()
    {
        EngineRig rig({{"AllowRemoteAccess", "0"}, {"Pass", ""}});
        frmOptions dialog(rig.form().dialogHost(), &rig.form());
        QVERIFY(!dialog.findChild<QLineEdit*>("txtPass")->isEnabled());
        dialog.findChild<QCheckBox*>("chkAllowRemoteAccess")->setChecked(true);
        MessageBox::scriptAnswers({MessageBox::Ok});
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().contains("password"));
        QCOMPARE(storedSetting("AllowRemoteAccess"), QString("0"));
        QVERIFY(dialog.findChild<QLineEdit*>("txtPass")->isEnabled());
        // Too short, or keys no telephone has ("*" ends a password): refused with the rule.
        for (const char* bad : {"42", "12*4", "Not Found"}) {
            dialog.findChild<QLineEdit*>("txtPass")->setText(bad);
            press(dialog, "cmdOK");
            QVERIFY2(MessageBox::shownTexts().last().contains("4 or more telephone keys"), bad);
            QCOMPARE(storedSetting("AllowRemoteAccess"), QString("0"));
        }
        dialog.findChild<QLineEdit*>("txtPass")->setText("42#A");
        press(dialog, "cmdOK");
        QCOMPARE(storedSetting("AllowRemoteAccess"), QString("1"));
        QCOMPARE(storedSetting("Pass"), QString("42#A"));
    }

    // The last greeting cannot be deleted; a delete answered Yes removes the file, shows the first
    // greeting in both lists and stores it at once, even when the dialog is then closed.
    void greetingDelete()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        {
            frmOptions dialog(form.dialogHost(), &form);
            toolbar(dialog, "Delete");
            QCOMPARE(MessageBox::shownTexts(), QStringList{"Can't Delete Last Greeting."});
            QVERIFY(QFile::exists(rig.programFolder() + "/Greets/Test.wav"));
            // "Add" opens the greeting creator of the main window.
            QVERIFY(
                dialog.findChild<QToolBar*>("tlbrGreetingPlayer")->findChild<QAction*>("Add")->isEnabled());
            press(dialog, "cmdCancel");
        }
        writeWav(rig.programFolder() + "/Greets/Another.wav", tone(50));
        MessageBox::clearShown();
        frmOptions dialog(form.dialogHost(), &form);
        pick(dialog, "CmbGreetsMessages", "Test");
        MessageBox::scriptAnswers({MessageBox::No});
        toolbar(dialog, "Delete");
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Delete Test ?"});
        QVERIFY(QFile::exists(rig.programFolder() + "/Greets/Test.wav"));
        MessageBox::scriptAnswers({MessageBox::Yes});
        toolbar(dialog, "Delete");
        QVERIFY(!QFile::exists(rig.programFolder() + "/Greets/Test.wav"));
        QCOMPARE(dialog.findChild<QComboBox*>("CmbGreetsMessages")->currentText(), QString("Another"));
        QCOMPARE(form.findChild<QComboBox*>("cmbDefGreet")->currentText(), QString("Another"));
        press(dialog, "cmdCancel");
        QCOMPARE(storedSetting("Greeting"), QString("Another"));
        QCOMPARE(form.settings().engine.GreetingFile, QString("Another.wav"));
    }

    // Browsing moves each message file and skips calls without a message; a file that would replace
    // one in the new folder stops the move (logged, the user told), the moved ones come back and the
    // folder stays; once the clash is gone the move completes and the folder is stored with one
    // final "/"; choosing the same folder again (with or without the "/") moves nothing but
    // rewrites the setting.
    void messagesFolderBrowse()
    {
        EngineRig rig;
        rig.start();
        frmMain& form = rig.form();
        const QString oldFolder = rig.messagesFolder();
        const QString target = rig.programFolder() + "/Moved";
        QDir().mkpath(target);
        kalvo::test::appendCall(form.DataBase1(), kalvo::test::shortCall("a.wav"));
        kalvo::test::appendCall(form.DataBase1(), kalvo::test::shortCall(""));
        kalvo::test::appendCall(form.DataBase1(), kalvo::test::shortCall("b.wav"));
        writeWav(oldFolder + "a.wav", tone(50));
        writeWav(oldFolder + "b.wav", tone(50));
        QFile clash(target + "/b.wav");
        QVERIFY(clash.open(QIODevice::WriteOnly));
        clash.write("mine");
        clash.close();

        frmOptions dialog(form.dialogHost(), &form);
        QCOMPARE(dialog.findChild<QLineEdit*>("txtMassagesPath")->text(), oldFolder);
        FileDialog::scriptNext(target);
        QMetaObject::invokeMethod(dialog.findChild<QWidget*>("cmdBrowsMessagesPath"), "click");
        QVERIFY(QFile::exists(oldFolder + "a.wav") && QFile::exists(oldFolder + "b.wav"));
        QVERIFY(!QFile::exists(target + "/a.wav"));
        QFile kept(target + "/b.wav");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("mine"));
        QVERIFY(rig.sysLogHas("ErrcmdBrowsMessagesPath 58 File already exists"));
        QVERIFY(MessageBox::shownTexts().last().startsWith("1 message(s) could not be moved to " + target));
        QCOMPARE(storedSetting("MassagesPath"), oldFolder);
        QCOMPARE(dialog.findChild<QLineEdit*>("txtMassagesPath")->text(), oldFolder);

        QVERIFY(QFile::remove(target + "/b.wav"));
        FileDialog::scriptNext(target);
        QMetaObject::invokeMethod(dialog.findChild<QWidget*>("cmdBrowsMessagesPath"), "click");
        QVERIFY(QFile::exists(target + "/a.wav") && QFile::exists(target + "/b.wav"));
        QVERIFY(!QFile::exists(oldFolder + "a.wav"));
        QCOMPARE(storedSetting("MassagesPath"), target + "/");
        QCOMPARE(form.settings().options.MassagesPath, target + "/");
        QCOMPARE(dialog.findChild<QLineEdit*>("txtMassagesPath")->text(), target + "/");

        // The same folder again, once with and once without the final "/".
        QFile::remove(target + "/a.wav");
        writeWav(target + "/a.wav", tone(50));
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "MassagesPath", 1, "changed");
        for (const QString& chosen : {target, target + "/"}) {
            FileDialog::scriptNext(chosen);
            QMetaObject::invokeMethod(dialog.findChild<QWidget*>("cmdBrowsMessagesPath"), "click");
            QCOMPARE(storedSetting("MassagesPath"), target + "/");
            QVERIFY(QFile::exists(target + "/a.wav"));
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "MassagesPath", 1, "changed");
        }
        // A cancelled browser changes nothing.
        FileDialog::scriptNext(QString());
        QMetaObject::invokeMethod(dialog.findChild<QWidget*>("cmdBrowsMessagesPath"), "click");
        QCOMPARE(storedSetting("MassagesPath"), QString("changed"));
        press(dialog, "cmdCancel");
    }

    // An empty stored messages folder is filled in, and the dialog shows the filled-in folder.
    void emptyMessagesFolderFilledIn()
    {
        EngineRig rig(std::map<QString, QString>{{"MassagesPath", ""}});
        const QString filled = rig.programFolder() + "/Messages/";
        QCOMPARE(rig.form().settings().options.MassagesPath, filled);
        frmOptions dialog(rig.form().dialogHost(), &rig.form());
        QCOMPARE(dialog.findChild<QLineEdit*>("txtMassagesPath")->text(), filled);
        QCOMPARE(storedSetting("MassagesPath"), filled);
    }

    // With the line closed, another modem and "OK" store "Modem" and "ModemName" and open nothing;
    // the engine follows the stored line for the next open. A vanished modem stores "Modem" -1.
    void closedLineChangedModem()
    {
        EngineRig rig({{"ModemName", "Sim 0"}, {"Modem", "0"}}, 0.001, kTwoLines);
        frmMain& form = rig.form();
        {
            frmOptions dialog(form.dialogHost(), &form);
            QCOMPARE(dialog.LoadedLineIndex(), 0);
            pick(dialog, "cmbModemDev", "Sim 1");
            press(dialog, "cmdOK");
        }
        QCOMPARE(storedSetting("Modem"), QString("1"));
        QCOMPARE(storedSetting("ModemName"), QString("Sim 1"));
        QVERIFY(!form.Tapi1().LineOpened(0));
        QVERIFY(!form.Tapi1().LineOpened(1));
        QCOMPARE(form.engine().state().LineIndex, 1);

        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "ModemName", 1, "Gone");
        form.settings().options.ModemName = "Gone";
        frmOptions dialog(form.dialogHost(), &form);
        QCOMPARE(dialog.LoadedLineIndex(), 0); // the list shows its first line
        auto* modem = dialog.findChild<QComboBox*>("cmbModemDev");
        modem->setCurrentIndex(-1);
        press(dialog, "cmdOK");
        QCOMPARE(storedSetting("Modem"), QString("-1"));
    }

    // With the line open, choosing another modem moves the open line even on "Close", and the
    // engine answers calls on the new line.
    void openLineFollowsModem()
    {
        EngineRig rig({{"ModemName", "Sim 0"}, {"Modem", "0"}}, 0.001, kTwoLines);
        rig.start();
        frmMain& form = rig.form();
        QVERIFY(form.Tapi1().LineOpened(0));
        {
            frmOptions dialog(form.dialogHost(), &form);
            pick(dialog, "cmbModemDev", "Sim 1");
            press(dialog, "cmdCancel");
        }
        QVERIFY(!form.Tapi1().LineOpened(0));
        QVERIFY(form.Tapi1().LineOpened(1));
        QCOMPARE(form.engine().state().LineIndex, 1);
        QCOMPARE(storedSetting("ModemName"), QString("Sim 0"));

        auto* sim1 = dynamic_cast<kalvo::sim::SimLine*>(kalvo::telephony::lineDevice(1));
        QVERIFY(sim1);
        sim1->offerCall("5551234", "Alice");
        sim1->ring(3);
        QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 5000);
        sim1->queueCallerAudio(tone(300));
        QTRY_COMPARE(sim1->pendingCallerAudio(), size_t(0));
        sim1->hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QCOMPARE(rig.records().front().at("Call_Name"), QString("Alice"));
    }
};

QTEST_MAIN(OptionsDialogTest)
#include "OptionsDialogTest.moc"
