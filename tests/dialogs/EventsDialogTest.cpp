// The events dialog offscreen over a main form, with scripted message and file dialogs and a private
// PulseAudio for the sound previews: tab choice, the close delay, saving, the sound lists and the
// two toolbars' ownership of the sound card.
#include "EngineRig.h"
#include "FileDialog.h"
#include "FrameCommands.h"
#include "MessageBox.h"
#include "PlaybackFlags.h"
#include "PrivatePulse.h"
#include "SoundCardBackend.h"
#include "WaveDeviceTable.h"
#include "frmEvents.h"
#include "frmOptions.h"
#include "mdlReg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

using namespace kalvo::test;

namespace {
QComboBox* list(QDialog& dialog, const char* name)
{
    return dialog.findChild<QComboBox*>(name);
}

void tool(QDialog& dialog, const char* bar, const char* key)
{
    dialog.findChild<QToolBar*>(bar)->findChild<QAction*>(key)->trigger();
}

QStringList entries(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// A user's pick in a list, which is what saves the close delay.
void userPick(QComboBox* box, const QString& text)
{
    box->setCurrentIndex(box->findText(text));
    emit box->activated(box->currentIndex());
}
} // namespace

class EventsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // Each menu opens its tab; the toolbar key is enabled.
    void menusOpenTheirTab()
    {
        EngineRig rig;
        const QString wrong =
            menusOpenTheirTabs(rig.form(), "Events", {"mnuEventsGeneral", "mnuInComingCall", "mnuIdelCall"});
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // The stored close delay is shown (not the default 5) and kept by "OK"; a pick is saved at once
    // even when the dialog is cancelled; opening and cancelling alone saves nothing.
    void closeDelay()
    {
        EngineRig rig({{"CloseCallerView", "30"}, {"cCloseCallerView", "1"}});
        frmMain& form = rig.form();
        {
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "CloseCallerView", 1, "20");
            frmEvents dialog(form.dialogHost(), &form);
            QCOMPARE(list(dialog, "cmbCloseCVAfter")->currentText(), QString("30"));
            QCOMPARE(entries(list(dialog, "cmbCloseCVAfter")), (QStringList{"5", "10", "20", "30", "60"}));
            dialog.findChild<QPushButton*>("cmdCancel")->click();
            QCOMPARE(storedSetting("CloseCallerView"), QString("20"));
        }
        {
            frmEvents dialog(form.dialogHost(), &form);
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QCOMPARE(storedSetting("CloseCallerView"), QString("30"));
        }
        frmEvents dialog(form.dialogHost(), &form);
        userPick(list(dialog, "cmbCloseCVAfter"), "60");
        QCOMPARE(storedSetting("CloseCallerView"), QString("60"));
        QCOMPARE(form.settings().events.CloseCallerView, 60);
        dialog.findChild<QPushButton*>("cmdCancel")->click();
        QCOMPARE(storedSetting("CloseCallerView"), QString("60"));
    }

    // An empty ring sound with its switch on shows the switch clear; "OK" stores the switch off and
    // the first sound; the sound lists hold whole file names; where a call shows is shown and stored.
    void emptyRingSoundAndSave()
    {
        EngineRig rig({{"PlayInRing", ""},
                       {"cPlayInRing", "1"},
                       {"PlayInIdle", "b.wav"},
                       {"cPlayInIdle", "1"},
                       {"AnimationFast", "40"},
                       {"CallerViewAs", "2"}});
        writeWav(rig.programFolder() + "/Sound/a.wav", tone(50));
        writeWav(rig.programFolder() + "/Sound/b.wav", tone(50));
        frmMain& form = rig.form();
        frmEvents dialog(form.dialogHost(), &form);
        QVERIFY(!dialog.findChild<QCheckBox*>("chkPlayInCall")->isChecked());
        QVERIFY(dialog.findChild<QCheckBox*>("chkPlayInMessage")->isChecked());
        QCOMPARE(entries(list(dialog, "CmbPlayWhenCall")), (QStringList{"a.wav", "b.wav"}));
        QCOMPARE(list(dialog, "CmbPlayWhenMessage")->currentText(), QString("b.wav"));
        QCOMPARE(dialog.findChild<QSlider*>("sldAnimationFast")->value(), 40);
        auto* shows = dialog.findChild<QComboBox*>("cmbCallerViewAs");
        QCOMPARE(shows->currentText(), QString("Caller Window and Notification"));
        shows->setCurrentText("Notification");
        dialog.findChild<QPushButton*>("cmdOK")->click();
        QCOMPARE(storedSetting("CallerViewAs"), QString("1"));
        QCOMPARE(form.settings().events.CallerViewAs, 1);
        QCOMPARE(storedSetting("cPlayInRing"), QString("0"));
        QCOMPARE(storedSetting("PlayInRing"), QString("a.wav"));
        QCOMPARE(storedSetting("PlayInIdle"), QString("b.wav"));
        QCOMPARE(storedSetting("AnimationFast"), QString("40"));
        QCOMPARE(form.settings().events.PlayInRing, QString("a.wav"));
    }

    // "Add" copies the chosen file in and shows it; a cancelled "Add" restores the text; deleting the
    // sound shown in both lists resets both; with no sounds "Delete" does nothing.
    void addAndDeleteSounds()
    {
        EngineRig rig({{"PlayInRing", ""}, {"PlayInIdle", ""}});
        frmMain& form = rig.form();
        frmEvents dialog(form.dialogHost(), &form);
        QCOMPARE(list(dialog, "CmbPlayWhenCall")->count(), 0);
        tool(dialog, "tlbrPlayWhenCall", "Delete");
        QTemporaryDir outside;
        writeWav(outside.path() + "/ring.wav", tone(50));
        writeWav(outside.path() + "/end.wav", tone(50));
        FileDialog::scriptNext(outside.path() + "/ring.wav");
        tool(dialog, "tlbrPlayWhenCall", "Add");
        QVERIFY(QFile::exists(rig.programFolder() + "/Sound/ring.wav"));
        QCOMPARE(list(dialog, "CmbPlayWhenCall")->currentText(), QString("ring.wav"));
        QCOMPARE(list(dialog, "CmbPlayWhenMessage")->currentText(), QString("ring.wav"));
        FileDialog::scriptNext(outside.path() + "/end.wav");
        tool(dialog, "tlbrPlayWhenMessage", "Add");
        QCOMPARE(list(dialog, "CmbPlayWhenMessage")->currentText(), QString("end.wav"));
        QCOMPARE(list(dialog, "CmbPlayWhenCall")->currentText(), QString("ring.wav"));
        FileDialog::scriptNext(QString());
        tool(dialog, "tlbrPlayWhenCall", "Add");
        QCOMPARE(list(dialog, "CmbPlayWhenCall")->currentText(), QString("ring.wav"));
        // A sound picked from the sound folder itself stays whole.
        FileDialog::scriptNext(rig.programFolder() + "/Sound/ring.wav");
        tool(dialog, "tlbrPlayWhenCall", "Add");
        QVERIFY(QFileInfo(rig.programFolder() + "/Sound/ring.wav").size() > 44);

        list(dialog, "CmbPlayWhenMessage")
            ->setCurrentIndex(list(dialog, "CmbPlayWhenMessage")->findText("ring.wav"));
        tool(dialog, "tlbrPlayWhenCall", "Delete");
        QVERIFY(!QFile::exists(rig.programFolder() + "/Sound/ring.wav"));
        QCOMPARE(list(dialog, "CmbPlayWhenCall")->currentText(), QString("end.wav"));
        QCOMPARE(list(dialog, "CmbPlayWhenMessage")->currentText(), QString("end.wav"));
        QVERIFY(MessageBox::shownTexts().isEmpty());
        dialog.findChild<QPushButton*>("cmdCancel")->click();
    }

    // "Test" shows the caller view with the choices on screen, not the saved ones.
    void testUsesScreenValues()
    {
        EngineRig rig({{"cAnimation", "0"}, {"AnimationFast", "20"}, {"CloseCallerView", "5"}});
        frmMain& form = rig.form();
        frmEvents dialog(form.dialogHost(), &form);
        dialog.findChild<QCheckBox*>("chkAnimation")->setChecked(true);
        dialog.findChild<QSlider*>("sldAnimationFast")->setValue(70);
        list(dialog, "cmbCloseCVAfter")->setCurrentIndex(list(dialog, "cmbCloseCVAfter")->findText("10"));
        dialog.findChild<QPushButton*>("cmdTestViewer")->click();
        QVERIFY(form.viewer().Animation);
        QCOMPARE(storedSetting("cAnimation"), QString("0"));
        form.viewer().close();
        dialog.findChild<QPushButton*>("cmdCancel")->click();
    }

    // On a real sound card: one toolbar's "Stop" leaves the other's sound playing, its own stops it,
    // closing the dialog stops either; in the options dialog "Stop" leaves the quick strip's greeting
    // playing while "Delete" stops it.
    void soundCardOwnership()
    {
        kalvo::test::PrivatePulse pulse;
        KALVO_REQUIRE_PULSE(pulse);
        kalvo::wave::SoundCardBackend backend;
        QTRY_VERIFY_WITH_TIMEOUT(
            kalvo::wave::WaveDeviceTable::instance().soundCardCount(kalvo::wave::WaveDirection::Out) == 2,
            5000);
        EngineRig rig({{"Sound", "0"}, {"PlayInRing", "long.wav"}, {"PlayInIdle", "long.wav"}}, 1.0);
        writeWav(rig.programFolder() + "/Sound/long.wav", tone(4000));
        writeWav(rig.programFolder() + "/Greets/Test.wav", tone(4000));
        writeWav(rig.programFolder() + "/Greets/Other.wav", tone(100));
        frmMain& form = rig.form();
        WaveControl& card = form.WavePlay();
        // The start beep is over before the previews begin.
        rig.start();
        QTRY_VERIFY_WITH_TIMEOUT(!card.IsPlaying(), 5000);
        {
            frmEvents dialog(form.dialogHost(), &form);
            tool(dialog, "tlbrPlayWhenCall", "Play");
            QTRY_VERIFY(card.IsPlaying());
            QVERIFY(form.playbackFlags().RingSoundPlaying);
            tool(dialog, "tlbrPlayWhenMessage", "Stop");
            QVERIFY(card.IsPlaying());
            tool(dialog, "tlbrPlayWhenCall", "Stop");
            QVERIFY(!card.IsPlaying());
            tool(dialog, "tlbrPlayWhenMessage", "Play");
            QTRY_VERIFY(card.IsPlaying());
            dialog.findChild<QPushButton*>("cmdCancel")->click();
            QVERIFY(!card.IsPlaying());
        }
        form.TBQuickOptionButtonClick("Play");
        QTRY_VERIFY(card.IsPlaying());
        frmOptions options(form.dialogHost(), &form);
        tool(options, "tlbrGreetingPlayer", "Stop");
        QVERIFY(card.IsPlaying());
        MessageBox::scriptAnswers({MessageBox::No});
        tool(options, "tlbrGreetingPlayer", "Delete");
        QVERIFY(!card.IsPlaying());
        options.findChild<QPushButton*>("cmdCancel")->click();
    }
};

QTEST_MAIN(EventsDialogTest)
#include "EventsDialogTest.moc"
