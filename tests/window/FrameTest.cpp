// The main window's frame, offscreen: the command set and its names, the quick strip, placement,
// layout, the close box on a desktop without a tray, and the Exit path with a call in progress.
#include "CallList.h"
#include "EngineRig.h"
#include "FrameCommands.h"
#include "FrameIcons.h"
#include "FrameLayout.h"
#include "LineControl.h"
#include "MessageBox.h"
#include "PlaybackFlags.h"
#include "ProgramFolder.h"
#include "TrayIcon.h"
#include "WindowView.h"
#include "frmHelp.h"
#include "mdlReg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace kalvo::test;

namespace {
// The visible entries of a menu: captions, "-" for a separator.
QStringList entries(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        if (a->isVisible())
            out << (a->isSeparator() ? QString("-") : QString(a->text()).remove('&'));
    return out;
}
// The mnemonic letters of the visible captions, "" for one without; a letter used twice is "!".
QString mnemonics(const QList<QAction*>& actions)
{
    QString out;
    for (const QAction* a : actions) {
        if (!a->isVisible() || a->isSeparator())
            continue;
        const qsizetype amp = a->text().indexOf('&');
        const QChar letter = amp >= 0 ? a->text()[amp + 1].toLower() : QChar('?');
        out += out.contains(letter) || letter == '?' ? QChar('!') : letter;
    }
    return out;
}
} // namespace

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // Help on a desktop without a web browser shows the help page in Kalvo's own window, pictures
    // included; a second Help brings the same window back.
    void helpWithoutBrowserInOwnWindow()
    {
        QTemporaryDir noApplications;
        qputenv("XDG_DATA_DIRS", noApplications.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", noApplications.path().toLocal8Bit());
        qunsetenv("BROWSER");
        EngineRig rig;
        rig.start();
        QVERIFY(ProgramFolder::ensure(rig.programFolder(), ProgramFolder::seedSource())); // as a start does
        frmMain& form = rig.form();
        for (int i = 0; i < 2; ++i)
            form.findChild<QAction*>("mnuContents")->trigger();
        const QList<frmHelp*> windows = form.findChildren<frmHelp*>("frmHelp");
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows.front()->isVisible());
        QTextBrowser& page = windows.front()->browser();
        QVERIFY(page.toPlainText().contains("Kalvo 1.0 user's guide"));
        QCOMPARE(page.source(), QUrl::fromLocalFile(rig.programFolder() + "/Help/index.htm"));
        const QVariant picture =
            page.loadResource(QTextDocument::ImageResource, page.source().resolved(QUrl("main-window.png")));
        QVERIFY(!picture.toByteArray().isEmpty());
        windows.front()->close();
    }

    // The program's icon comes from the pictures built into the program, at every size the desktop
    // asks for, so window, tray and about box need no image plugin.
    void appIconFromBuiltInPictures()
    {
        const QIcon icon = FrameIcons::appIcon();
        QVERIFY(!icon.isNull());
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage picture = icon.pixmap(QSize(48, 48)).toImage();
        QCOMPARE(picture.size(), QSize(48, 48));
        QCOMPARE(qAlpha(picture.pixel(24, 24)), 255); // drawn, not an empty frame
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);     // rounded corners
    }

    // The menu bar, the tray menu and Toolbar1 carry the design's captions, names and tooltips in
    // order; the commands whose windows are not built yet (events, actions, options) are disabled; without a
    // web host the web items are hidden; every toolbar button has an accessible name.
    void commandSet()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        QStringList menus;
        for (QAction* a : form.menuBar()->actions())
            menus << QString(a->text()).remove('&');
        QCOMPARE(menus, (QStringList{"File", "Edit", "Events", "Actions", "Options", "Tools", "Help"}));
        auto menu = [&](const char* name) { return form.findChild<QMenu*>(name); };
        QCOMPARE(entries(menu("mnuFile")),
                 (QStringList{"Save", "Delete", "Clear", "-", "Log", "-", "Hide", "Exit"}));
        QCOMPARE(entries(menu("mnuEdit")),
                 (QStringList{"First", "Last", "Next", "Back", "-", "Play", "Stop"}));
        QCOMPARE(entries(menu("mnuEvents")), (QStringList{"General", "In Coming Call", "Disconnect Call"}));
        QCOMPARE(entries(menu("mnuActions")), (QStringList{"E-Mail", "Application"}));
        QCOMPARE(entries(menu("mnuOptions")),
                 (QStringList{"General", "Devices", "Answer Mode", "Advance", "-", "Caller Rules"}));
        QCOMPARE(entries(menu("mnuTools")), QStringList{"Greeting Creator"});
        QCOMPARE(entries(menu("mnuHelp")), (QStringList{"Contents", "About"}));
        // Each title and each item has a mnemonic letter of its own.
        QCOMPARE(mnemonics(form.menuBar()->actions()), QString("fevaoth"));
        for (const char* name : {"mnuFile", "mnuEdit", "mnuEvents", "mnuActions", "mnuOptions", "mnuHelp"})
            QVERIFY2(!mnemonics(menu(name)->actions()).contains('!'), name);
        QCOMPARE(entries(menu("mnuSystry")),
                 (QStringList{"Pick Up", "-", "Exit", "-", "Off", "On", "-", "Open"}));
        // With no call there is nothing to pick up, and the item says so; F8 is its key.
        QAction* pickUp = form.commands().action("mnuPickUp");
        QVERIFY(pickUp && !pickUp->isEnabled());
        QCOMPARE(pickUp->toolTip(), QString("No call to pick up"));
        QCOMPARE(pickUp->shortcut(), QKeySequence(Qt::Key_F8));
        for (const char* name : {"mnuIdelCall", "mnuAplication", "mnuAdvance", "mnuCheck4NewVersion",
                                 "mnuBugReport", "mnuWebSite", "mnuExitSys", "mnuOpen", "mnuOn", "mnuOff"})
            QVERIFY2(form.commands().action(name), name);

        QToolBar* toolbar = form.commands().Toolbar1();
        QStringList keys, captions, tips;
        int separators = 0;
        for (QAction* a : toolbar->actions()) {
            if (a->isSeparator()) {
                ++separators;
                continue;
            }
            keys << a->objectName();
            captions << a->text();
            tips << a->toolTip();
            QWidget* button = toolbar->widgetForAction(a);
            QVERIFY2(button && !button->accessibleName().isEmpty(), qPrintable(a->objectName()));
        }
        QCOMPARE(keys, (QStringList{"OnOff", "Back", "Next", "Save", "Delete", "Clear", "Log", "Events",
                                    "Actions", "Options"}));
        QCOMPARE(captions, (QStringList{"Off", "Back", "Next", "Save", "Delete", "   Clear   ", "Log",
                                        "Events", "Actions", "Options"}));
        QCOMPARE(tips, (QStringList{"Modem Status", "Back  Message", "Next Message", "Save Message As",
                                    "Delete Message", "Clear Calls List", "Log", "Set Events", "Set Actions",
                                    "Options"}));
        QCOMPARE(separators, 4);
        for (const char* built : {"Log", "mnuLog", "mnuGreetingCreator", "QuickAdd", "Events", "Actions",
                                  "Options", "mnuGeneral", "mnuMail", "mnuIdelCall"})
            QVERIFY2(form.commands().action(built)->isEnabled(), built);
        QCOMPARE(form.commands().action("QuickAdd")->toolTip(), QString("Create New Greeting"));
        QCOMPARE(form.commands().action("QuickPlay")->toolTip(), QString("Play Greeting"));
        QCOMPARE(form.findChild<QComboBox*>("cmbRings")->toolTip(),
                 QString("Number of rings before response"));
        QCOMPARE(form.commands().action("mnuExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(form.commands().action("mnuSave")->shortcut(), QKeySequence(QKeySequence::Save));
    }

    // The tray tip counts calls and new calls and never grows past 63 characters.
    void trayTip()
    {
        QCOMPARE(TrayIcon::tipText(12, 3), QString("Kalvo - Calls:12  New:3"));
        QCOMPARE(TrayIcon::tipText(0, 0), QString("Kalvo - Calls:0  New:0"));
        QVERIFY(TrayIcon::tipText(2147483647, 2147483647).size() <= 63);
    }

    // Start: the ring list holds 1 to 20 and shows the ring count; a greeting setting that names no
    // file selects the first greeting and makes it the engine's; the status panels show the line,
    // time and date; "Load Kalvo" goes to both logs before the line is initialised; the call
    // commands wait for a call.
    void loadOrderAndQuickStrip()
    {
        EngineRig rig(Values{{"NumOfRing", "3"}, {"Greeting", "Gone"}});
        writeWav(rig.programFolder() + "/Greets/Another.wav", tone(100));
        frmMain& form = rig.form();
        rig.start();
        auto* rings = form.findChild<QComboBox*>("cmbRings");
        QCOMPARE(rings->count(), 20);
        QCOMPARE(rings->currentText(), QString("3"));
        auto* greetings = form.findChild<QComboBox*>("cmbDefGreet");
        QCOMPARE(greetings->currentIndex(), 0);
        QCOMPARE(form.settings().engine.GreetingFile, greetings->currentText() + ".wav");
        QCOMPARE(storedSetting("Greeting"), greetings->currentText());
        QCOMPARE(form.statusText(), QString("Monitoring Sim 0"));
        QVERIFY(!form.findChild<QLabel*>("StatusBar1Panel2")->text().isEmpty());
        QVERIFY(!form.findChild<QLabel*>("StatusBar1Panel3")->text().isEmpty());
        const QStringList log = rig.sysLog();
        QVERIFY(log.indexOf("Load Kalvo") >= 0);
        QVERIFY(log.indexOf("Load Kalvo") < log.indexOf(QRegularExpression("^LineInitialize->.*")));
        QCOMPARE(rig.callsLog().first(), QString("Load Kalvo"));
        // An empty list leaves nothing for the call commands to act on.
        for (const char* name : {"Save", "Delete", "Clear", "Next", "mnuPlay"})
            QVERIFY2(!form.commands().action(name)->isEnabled(), name);

        // No sound card here: the quick strip's Play says why in the status bar; its Stop leaves a
        // playback that is not its own alone.
        form.TBQuickOptionButtonClick("Play");
        QCOMPARE(form.statusText(), QString("No sound card"));
        form.playbackFlags().QuickPlaying = false;
        form.TBQuickOptionButtonClick("Stop");
        rings->setCurrentText("7");
        QCOMPARE(storedSetting("NumOfRing"), QString("7"));
        QCOMPARE(form.settings().options.NumOfRing, int16_t(7));
    }

    // Placement: saved in twips from a normal window; a maximised, minimised or hidden window leaves
    // the stored placement as it was; the next start puts the window back, inside the screen even
    // when it was stored off it or larger than it.
    void placement()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        form.show();
        form.move(30, 40);
        form.resize(500, 400);
        WindowView::SetView(form, false, form.settings());
        QCOMPARE(storedSetting("MeWidth"), QString::number(500 * 15));
        QCOMPARE(storedSetting("MeHeight"), QString::number(400 * 15));
        QCOMPARE(storedSetting("MeWinState"), QString("0"));
        const QString left = storedSetting("MeLeft");
        form.showMaximized();
        WindowView::SetView(form, false, form.settings());
        form.showMinimized();
        WindowView::SetView(form, false, form.settings());
        QCOMPARE(storedSetting("MeWidth"), QString::number(500 * 15));
        QCOMPARE(storedSetting("MeLeft"), left);
        form.showNormal();
        form.resize(600, 450);
        WindowView::SetView(form, true, form.settings());
        QCOMPARE(storedSetting("MeWidth"), QString::number(500 * 15));

        WindowPlacement stored;
        stored.MeLeft = 150;
        stored.MeTop = 300;
        stored.MeWidth = 9000;
        stored.MeHeight = 6000;
        WindowView::GetView(form, stored);
        QCOMPARE(form.size(), QSize(600, 400));

        const QRect screen = form.screen()->availableGeometry();
        stored.MeLeft = (screen.right() + 900) * 15;
        stored.MeTop = (screen.bottom() + 700) * 15;
        stored.MeWidth = (screen.width() + 400) * 15;
        stored.MeHeight = (screen.height() + 300) * 15;
        WindowView::GetView(form, stored);
        QVERIFY2(
            screen.contains(form.frameGeometry()) && form.width() > screen.width() / 2,
            qPrintable(
                QString("%1,%2 %3x%4").arg(form.x()).arg(form.y()).arg(form.width()).arg(form.height())));
    }

    // The layout follows the window down to 4000 x 3000 twips; a smaller window keeps what it had.
    void smallWindowKeepsItsLayout()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        form.show();
        form.resize(640, 480);
        QTest::qWait(20);
        auto* list = form.findChild<QTableView*>("ListView1");
        const QRect big = list->geometry();
        QVERIFY(big.width() > 500 && big.height() > 200);
        form.resize(700, 520);
        QTRY_VERIFY(list->geometry().width() > big.width());
        const QRect grown = list->geometry();
        auto* check = form.findChild<QCheckBox*>("chkRecMessage");
        QVERIFY(check->geometry().right() <= form.width() - 20); // 300 twips from the right edge
        form.resize(250, 180);                                   // 3750 x 2700 twips
        QTest::qWait(20);
        QCOMPARE(list->geometry(), grown);
    }

    // No tray on this desktop: the close box and "Hide" minimise instead of hiding (one log line),
    // and the line stays open; Exit closes the line and writes "Unload Kalvo" to both logs.
    void closeBoxWithoutTrayThenExit()
    {
        QVERIFY(!TrayIcon::available());
        EngineRig rig;
        rig.start();
        frmMain& form = rig.form();
        form.show();
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QVERIFY(form.isMinimized());
        QVERIFY(!form.WindowHidden());
        form.commands().action("mnuHide")->trigger();
        QVERIFY(form.isVisible());
        QCOMPARE(rig.sysLog().filter("No notification area").size(), 1);
        QVERIFY(form.Tapi1().LineOpened(0));

        form.commands().action("mnuExit")->trigger();
        QVERIFY(form.ExitRequested());
        QVERIFY(!form.isVisible());
        QVERIFY(!form.Tapi1().LineOpened(0));
        const QStringList log = rig.sysLog();
        QVERIFY(log.indexOf(QRegularExpression("^LineClose.*SUCCESS")) < log.indexOf("Unload Kalvo"));
        QCOMPARE(rig.callsLog().last(), QString("Unload Kalvo"));
        form.commands().action("mnuExitSys")->trigger(); // a second Exit does nothing more
        QCOMPARE(rig.sysLog().filter("Unload Kalvo").size(), 1);
    }

    // Exit from the menu during a call asks first, and No keeps Kalvo answering; an Exit while a
    // caller is being recorded keeps the message: the recording is stored as the call's message, the
    // call goes into the database and the list, and the caller is hung up on.
    void exitDuringRecordingKeepsTheMessage()
    {
        EngineRig rig(Values{{"NumOfRing", "1"}});
        rig.start();
        frmMain& form = rig.form();
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 5000);
        rig.sim().queueCallerAudio(tone(400));
        QTRY_COMPARE(rig.sim().pendingCallerAudio(), size_t(0));
        MessageBox::scriptAnswers({MessageBox::No});
        form.commands().action("mnuExit")->trigger();
        QVERIFY(MessageBox::shownTexts().join('\n').contains("A call is in progress"));
        QVERIFY(!form.ExitRequested() && form.Wave1().IsRecording());
        form.Exit();
        QVERIFY(!form.Wave1().IsRecording());
        const auto records = rig.records();
        QCOMPARE(int(records.size()), 1);
        QCOMPARE(records.front().at("Call_Name"), QString("Alice"));
        QVERIFY(records.front().at("Type").toDouble() > 0.3);
        QVERIFY(QFile::exists(rig.messagesFolder() + records.front().at("Call_Massage_Name")));
        QCOMPARE(form.callList().rowCount(), 1);
        QVERIFY(rig.callsLog().filter("Alice").size() >= 1);
        QVERIFY(rig.sysLogHas("Unload Kalvo"));
        QVERIFY(!form.Tapi1().LineOpened(0));
    }
};

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
