// The actions dialog offscreen over a main form with scripted message boxes: tab choice, the order
// of the checks, what is saved, the condition lists, the enabled states and "Test".
#include "EngineRig.h"
#include "FrameCommands.h"
#include "MessageBox.h"
#include "TestSupport.h"
#include "frmActions.h"
#include "mdlReg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace kalvo::test;

namespace {
template <typename W> W* child(QDialog& dialog, const char* name)
{
    return dialog.findChild<W*>(name);
}

void press(QDialog& dialog, const char* name)
{
    child<QPushButton>(dialog, name)->click();
}

int currentTab(QDialog& dialog)
{
    return child<QTabBar>(dialog, "TabStrip1")->currentIndex();
}
} // namespace

class ActionsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // Each menu opens its tab; the toolbar key is enabled.
    void menusOpenTheirTab()
    {
        EngineRig rig;
        const QString wrong = menusOpenTheirTabs(rig.form(), "Actions", {"mnuMail", "mnuAplication"});
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // Never-saved actions show as empty fields with a hint, and, switched off, are saved unchanged;
    // an invalid recipient is accepted while mail is off.
    void notFoundAndSwitchedOff()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        {
            frmActions dialog(form.dialogHost(), &form);
            for (const char* field : {"txtSendToMail", "txtSMTP", "txtFromMail", "txtAppTo"}) {
                QVERIFY2(child<QLineEdit>(dialog, field)->text().isEmpty(), field);
                QVERIFY2(!child<QLineEdit>(dialog, field)->placeholderText().isEmpty(), field);
            }
            QVERIFY(!child<QLineEdit>(dialog, "txtSMTP")->isEnabled());
            press(dialog, "cmdOK");
            QVERIFY(MessageBox::shownTexts().isEmpty());
        }
        QCOMPARE(storedSetting("MailTo"), QString("Not Found"));
        QCOMPARE(storedSetting("pMailTo"), QString("0"));
        frmActions dialog(form.dialogHost(), &form);
        child<QLineEdit>(dialog, "txtSendToMail")->setText("not an address");
        press(dialog, "cmdOK");
        QCOMPARE(storedSetting("MailTo"), QString("not an address"));
    }

    // The checks run in their order, report only the first failure on its tab, and save nothing
    // until all pass.
    void checkOrder()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        frmActions dialog(form.dialogHost(), &form);
        child<QTabBar>(dialog, "TabStrip1")->setCurrentIndex(1);
        child<QCheckBox>(dialog, "chkSendToMail")->click();
        child<QLineEdit>(dialog, "txtSendToMail")->setText("me@example.org");
        child<QLineEdit>(dialog, "txtSMTP")->setText("");
        child<QLineEdit>(dialog, "txtFromMail")->setText("nobody");
        child<QCheckBox>(dialog, "chkApp")->click();
        child<QLineEdit>(dialog, "txtAppTo")->setText("");
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts(), QStringList{"'SMTP' Is Invalid"});
        QCOMPARE(currentTab(dialog), 0);
        QCOMPARE(storedSetting("pMailTo"), QString("Not Found"));
        // What is no host name (the text a never-stored setting reads) is refused like an empty one.
        child<QLineEdit>(dialog, "txtSMTP")->setText("Not Found");
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts().size(), 2);
        QCOMPARE(MessageBox::shownTexts().last(), QString("'SMTP' Is Invalid"));
        child<QLineEdit>(dialog, "txtSMTP")->setText("smtp.example.org:587");
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts().last(), QString("'From(Replay To)' Is Invalid"));
        child<QLineEdit>(dialog, "txtFromMail")->setText("kalvo@example.org");
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts().last(), QString("'Application Path' Field Is Empty"));
        QCOMPARE(currentTab(dialog), 1);
        child<QLineEdit>(dialog, "txtSendToMail")->setText("bad");
        press(dialog, "cmdOK");
        QCOMPARE(MessageBox::shownTexts().last(), QString("'E-Mail To' Is Invalid"));
        QCOMPARE(currentTab(dialog), 0);
        QCOMPARE(storedSetting("pMailTo"), QString("Not Found"));
        child<QLineEdit>(dialog, "txtSendToMail")->setText("me@example.org");
        child<QLineEdit>(dialog, "txtAppTo")->setText("/no/such/program <NAME>");
        press(dialog, "cmdOK");
        QVERIFY(
            MessageBox::shownTexts().last().startsWith("'Application Path': the program cannot be found"));
        QCOMPARE(currentTab(dialog), 1);
        child<QLineEdit>(dialog, "txtAppTo")->setText("/bin/true <NAME>");
        press(dialog, "cmdOK");
        QCOMPARE(storedSetting("pMailTo"), QString("1"));
        QCOMPARE(storedSetting("SMTPServer"), QString("smtp.example.org:587"));
        QCOMPARE(storedSetting("AppTo"), QString("/bin/true <NAME>"));
        QCOMPARE(form.settings().actions.pAppTo, 1);
    }

    // "Act with messages only!" is stored as "1" and shown again; a stored "5" shows it too.
    void conditionLists()
    {
        EngineRig rig(std::map<QString, QString>{{"ActionsAppAllCalls", "5"}});
        frmMain& form = rig.form();
        {
            frmActions dialog(form.dialogHost(), &form);
            QCOMPARE(child<QComboBox>(dialog, "cmbActApp")->currentText(),
                     QString("Act with messages only!"));
            QCOMPARE(child<QComboBox>(dialog, "cmbActMail")->currentIndex(), 0);
            child<QComboBox>(dialog, "cmbActMail")->setCurrentIndex(1);
            press(dialog, "cmdOK");
        }
        QCOMPARE(storedSetting("ActionsMailAllCalls"), QString("1"));
        QCOMPARE(storedSetting("ActionsAppAllCalls"), QString("1"));
        QCOMPARE(form.settings().actions.ActionsMailAllCalls, 1);
        frmActions dialog(form.dialogHost(), &form);
        QCOMPARE(child<QComboBox>(dialog, "cmbActMail")->currentText(), QString("Act with messages only!"));
        press(dialog, "cmdCancel");
    }

    // Unticking the application switch disables its controls at once; "Parm" explains the
    // placeholders; "Test" starts the command line on screen with test data, and an empty one is
    // only logged.
    void applicationTab()
    {
        QTemporaryDir starts;
        kalvo::test::ScopedEnv env("KALVO_TEST_STARTS", QFile::encodeName(starts.path()));
        EngineRig rig({{"pAppTo", "1"}, {"AppTo", "x"}});
        frmMain& form = rig.form();
        frmActions dialog(form.dialogHost(), &form);
        QVERIFY(child<QPushButton>(dialog, "frmTest")->isEnabled());
        child<QCheckBox>(dialog, "chkApp")->click();
        for (const char* name : {"frmTest", "cmdParm", "txtAppTo", "chkBGAPP", "cmbActApp"})
            QVERIFY2(!child<QWidget>(dialog, name)->isEnabled(), name);
        child<QCheckBox>(dialog, "chkApp")->click();

        press(dialog, "cmdParm");
        QCOMPARE(
            MessageBox::shownTexts(),
            QStringList{"Parameters:\r\nCaller Name=<NAME>\r\nCaller Number=<NUMBER>\r\nDate=<DATE>\r\n"
                        "Time=<TIME>\r\nMessage Path=<MESSAGE_PATH>\r\n\r\nFor more information look at the "
                        "help"});

        child<QLineEdit>(dialog, "txtAppTo")->setText("");
        press(dialog, "frmTest");
        QVERIFY(rig.sysLogHas("errTesSendApp->5 Invalid procedure call or argument"));
        child<QLineEdit>(dialog, "txtAppTo")->setText("/no/such/program <NAME>");
        press(dialog, "frmTest");
        QVERIFY(MessageBox::shownTexts().last().startsWith("The program could not be started: "));

        const QString script = kalvo::test::sourcePath("tests/actions/record-args.sh");
        child<QLineEdit>(dialog, "txtAppTo")->setText(script + " <NAME> <NUMBER> <MESSAGE_PATH>");
        press(dialog, "frmTest");
        QTRY_COMPARE(QDir(starts.path()).entryList({"*.args"}).size(), 1);
        QFile args(starts.path() + "/" + QDir(starts.path()).entryList({"*.args"}).first());
        QVERIFY(args.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = args.readAll().split('\0');
        QCOMPARE(words.value(0), QByteArray("Name Test"));
        QCOMPARE(words.value(1), QByteArray("Number Test"));
        QCOMPARE(QString::fromUtf8(words.value(2)), rig.messagesFolder() + "Test.wav");
        QCOMPARE(storedSetting("AppTo"), QString("x"));
        press(dialog, "cmdCancel");
    }
};

QTEST_MAIN(ActionsDialogTest)
#include "ActionsDialogTest.moc"
