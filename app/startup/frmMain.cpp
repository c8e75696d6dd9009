// The main form.
#include "frmMain.h"

#include "AnsweringEngine.h"
#include "CallList.h"
#include "CallStore.h"
#include "CallerViewer.h"
#include "CurlMailSender.h"
#include "DialogHost.h"
#include "ErrorTrap.h"
#include "FrameCommands.h"
#include "FrameIcons.h"
#include "FrameLayout.h"
#include "MessagePlayer.h"
#include "NullDevices.h"
#include "QuickSettings.h"
#include "RecordingFile.h"
#include "RecoveredMessages.h"
#include "SettingsLoader.h"
#include "SimLineDialog.h"
#include "SipLineDialog.h"
#include "SoundCardBackend.h"
#include "SqliteCallDatabase.h"
#include "StatusPanels.h"
#include "TapiLineControl.h"
#include "TimeBase.h"
#include "TrayIcon.h"
#include "VbConvert.h"
#include "WaveSoundDevice.h"
#include "WindowView.h"
#include "frmAbout.h"
#include "frmActions.h"
#include "frmEvents.h"
#include "frmGreetC.h"
#include "frmLog.h"
#include "frmMSG.h"
#include "frmOptions.h"
#include "mMain.h"
#include "mdlReg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {
// Grid lines and full-row selection of the call list (the check box Check1 of the form).
constexpr bool kCheck1 = true;
// The design size of the window, in twips.
constexpr int kDesignWidthTwips = 9600;
constexpr int kDesignHeightTwips = 7200;

// The maker's web host, set when the program is built; none hides the web items.
#ifdef KALVO_WEB_HOST
const QString kWebHost = QStringLiteral(KALVO_WEB_HOST);
#else
const QString kWebHost;
#endif

int16_t storedSwitch(const char* name)
{
    try {
        return VbConvert::toInt16(mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name));
    } catch (...) {
        return 0;
    }
}

FormParts standardParts(FormParts parts)
{
    if (!parts.tapi) {
        QString error;
        parts.tapi = TapiLineControl::load(&error);
        // Without the line control the program still lists and plays calls; it has no lines.
        if (!parts.tapi)
            parts.tapi = std::make_unique<NoLineControl>();
    }
    if (!parts.wave1)
        parts.wave1 = std::make_unique<kalvo::sound::WaveSoundDevice>();
    if (!parts.wavePlay) {
        if (!parts.soundCard)
            parts.soundCard = std::make_unique<kalvo::wave::SoundCardBackend>();
        parts.wavePlay = std::make_unique<kalvo::sound::WaveSoundDevice>();
    }
    if (!parts.database)
        parts.database = std::make_unique<kalvo::SqliteCallDatabase>();
    if (!parts.mail1)
        parts.mail1 = std::make_unique<kalvo::CurlMailSender>();
    return parts;
}
} // namespace

frmMain::frmMain(const QString& programFolder, const Clock& clock, QWidget* parent)
    : frmMain(programFolder, FormParts(), clock, TimeBase::real(), parent)
{
}

frmMain::frmMain(const QString& programFolder, FormParts parts, const Clock& clock, const TimeBase& timeBase,
                 QWidget* parent)
    : QMainWindow(parent), m_programFolder(programFolder), m_log(programFolder + "/Log/", clock),
      m_timeBase(timeBase), m_parts(standardParts(std::move(parts))),
      m_viewer(std::make_unique<frmMSG>(timeBase))
{
    setObjectName("frmMain");
    setWindowTitle("Kalvo 1.0");
    setWindowIcon(FrameIcons::appIcon());
    resize(kDesignWidthTwips / WindowView::kTwipsPerPixel, kDesignHeightTwips / WindowView::kTwipsPerPixel);
    ErrorTrap trap("ErrorLoadFormMain->", [this](const QString& l) { logLine(l); });
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    loadSettings();
    trap.step([&] { buildForm(timeBase, clock); });
    ErrorTrap("ErrGetView ", [this](const QString& l) { logLine(l); }).step([&] {
        WindowView::GetView(*this, m_settings.view);
    });
    QGuiApplication::restoreOverrideCursor();
    m_log.WriteSysLog("Load Kalvo");
    m_log.WriteCallsLog("Load Kalvo");
    // The lines' own settings dialogs, shown from the options dialog.
    kalvo::sip::SipLineDialog::install();
    kalvo::sim::SimLineDialog::install();
    trap.step([&] {
        const int result = Tapi1().LineInitialize();
        logLine("LineInitialize->" + Tapi1().GetTapiStrError(result));
    });
    QTimer::singleShot(0, this, &frmMain::Form_Initialize);
}

frmMain::~frmMain()
{
    // The parts that use the line control, the sound instances and the database go before them.
    delete m_engine;
    delete m_player;
    delete m_quick;
    delete m_callList;
}

void frmMain::loadSettings()
{
    // The switches are known before the loaders run, so their own conversion failures are logged.
    m_log.setSystemSwitch(storedSwitch("cLogSys"));
    m_log.setCallsSwitch(storedSwitch("cLogCalls"));
    SettingsLoader(m_log, m_programFolder).loadAll(m_settings);
}

void frmMain::buildForm(const TimeBase& timeBase, const Clock& clock)
{
    auto* area = new QWidget(this);
    area->setObjectName("FrameArea");
    setCentralWidget(area);
    m_panels = new StatusPanels(*statusBar(), clock, timeBase);

    m_callList = new CallList(DataBase1(), m_settings.options, m_log, area);
    m_store = std::make_unique<CallStore>(DataBase1(), Wave1(), m_log);
    m_engine = new AnsweringEngine(
        Tapi1(), Wave1(), m_log, m_settings, timeBase, clock, *m_viewer, *m_callList, *m_store, Mail1(),
        m_programFolder, [this](const QString& text) { m_panels->setStatus(text); }, this);
    m_player = new MessagePlayer(
        WavePlay(), *m_callList, DataBase1(), m_settings, m_log, timeBase, m_flags,
        [this] { return Tapi1().LineGetWaveOutID(m_engine->state().LineIndex); }, area);
    m_player->setStatusSink([this](const QString& text) { m_panels->setStatus(text); });
    m_engine->setCardPlayer([this](const QString& path) { m_player->PlayWave(path, false); },
                            [this] { return WavePlay().IsPlaying(); });
    // The caller viewer's choices act on the ringing call.
    m_viewer->setChoices({[this] { m_engine->flow().AnswerToCall(m_engine->state().LineIndex, 0, true); },
                          [this] { m_engine->flow().DropInComeCall(); },
                          [this] { m_engine->flow().setDoNotAnswer(); }});
    // A call that ends while the window is hidden makes the tray icon blink until it is clicked.
    m_engine->actions().setWindowHooks([this] { return m_windowHidden; }, [this] { m_tray->startBlink(); });
    buildFrame(timeBase, clock);
    buildDialogHost();

    // Load order: the list's look, the panels and columns, then the quick settings.
    m_callList->setGridLines(kCheck1);
    m_panels->CreatePanel();
    m_callList->RangeListTitle();
    m_quick->showSettings();
    m_player->slider()->setRange(0, 100);
    m_engine->monitor().PutStatusBarUnMonitorModem();
}

void frmMain::buildFrame(const TimeBase& timeBase, const Clock&)
{
    LineMonitor& monitor = m_engine->monitor();
    m_commands = new FrameCommands(*this, monitor.onOffButton(), monitor.mnuOn(), monitor.mnuOff(), kWebHost);
    QWidget* area = centralWidget();
    m_commands->CoolBar1()->setParent(area);
    QWidget* band = m_commands->quickBand();
    m_quick = new QuickSettings(m_settings, m_programFolder, band);
    m_quick->cmbRings()->setToolTip("Number of rings before response");
    m_quick->cmbRings()->setAccessibleName("Number of rings before response");
    m_quick->cmbDefGreet()->setAccessibleName("Default greeting");
    m_quick->cmbDefGreet()->setToolTip("Default greeting");
    auto* rings = new QLabel("Rings:", band);
    rings->setObjectName("lblRings");
    rings->setBuddy(m_quick->cmbRings());

    auto* playerBar = m_player->toolBar();
    playerBar->setObjectName("ToolBarPlayer");
    playerBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    playerBar->setIconSize(QSize(16, 16));
    for (const char* key : {"Play", "Stop"})
        if (QAction* button = playerBar->findChild<QAction*>(key)) {
            button->setIcon(FrameIcons::toolIcon(key));
            button->setToolTip(QString(key) + " Message");
            if (QWidget* widget = playerBar->widgetForAction(button))
                widget->setAccessibleName(QString(key) + " message");
        }
    m_player->slider()->setAccessibleName("Playback position");

    FrameWidgets widgets;
    widgets.area = area;
    widgets.coolBar = m_commands->CoolBar1();
    widgets.toolbar = m_commands->Toolbar1();
    widgets.quickBand = band;
    widgets.quickStrip = m_commands->TBQuickOption();
    widgets.ringsLabel = rings;
    widgets.cmbRings = m_quick->cmbRings();
    widgets.cmbDefGreet = m_quick->cmbDefGreet();
    widgets.chkRecMessage = m_quick->chkRecMessage();
    widgets.list = m_callList->view();
    widgets.playerBar = playerBar;
    widgets.slider = m_player->slider();
    widgets.panels = m_panels;
    m_layout = std::make_unique<FrameLayout>(widgets);

    m_tray = new TrayIcon(windowIcon(), m_commands->mnuSystry(), timeBase, this);
    connect(m_callList, &CallList::countersChanged, this, [this](int total, int unread) {
        ErrorTrap("ErrMakeSysTryBaloon ", [this](const QString& l) { logLine(l); }).step([&] {
            m_tray->MakeSysTryBaloon(total, unread);
        });
    });
    connect(m_tray, &TrayIcon::restoreRequested, this, &frmMain::restoreWindow);

    connect(m_commands, &FrameCommands::toolbarButton, this, &frmMain::Toolbar1ButtonClick);
    connect(m_commands, &FrameCommands::quickButton, this, &frmMain::TBQuickOptionButtonClick);
    connect(m_commands, &FrameCommands::menuCommand, this, &frmMain::menuClick);
    // Space or Enter on the list plays from the selected call, as a double click does.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Return)}) {
        auto* shortcut = new QShortcut(key, m_callList->view(), nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { m_player->playButton(); });
    }
    m_callList->view()->setAccessibleName("Calls");
}

void frmMain::Form_Initialize()
{
    if (m_initialized)
        return;
    m_initialized = true;
    ErrorTrap trap("ErrorInitializeFormMain->", [this](const QString& l) { logLine(l); });
    // The user is told when the database cannot open; once open, recordings cut short by a crash
    // or kill become calls before the list is made.
    if (m_store->openAtStart(m_programFolder + "/Calls", trap))
        RecoveredMessages(*m_store, m_log)
            .recover(kalvo::sound::RecordingFile::defaultSpoolFolder(), m_settings.engine.MessagesPath);
    trap.step([&] { m_callList->makeList(); });
    trap.step([&] {
        LineMonitor& monitor = m_engine->monitor();
        if (monitor.SelectModemDevice()) {
            monitor.OpenLine(m_engine->state().LineIndex);
            m_player->PlayWave(m_programFolder + "/beep.wav", false);
        }
    });
}

QString frmMain::statusText() const
{
    return m_panels ? m_panels->status() : QString();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Layout problems never reach the user.
    try {
        if (m_layout)
            m_layout->Form_Resize(size(), m_settings.options.pQuickToolbar != 0);
    } catch (...) {
    }
}

void frmMain::Toolbar1ButtonClick(const QString& key)
{
    ErrorTrap("ErrToolbar1ButtonClick ", [this](const QString& l) { logLine(l); }).step([&] {
        if (key == QLatin1String("Next"))
            m_callList->Next();
        else if (key == QLatin1String("Back"))
            m_callList->Back();
        else if (key == QLatin1String("Delete"))
            m_callList->DeleteCommand();
        else if (key == QLatin1String("Clear"))
            m_callList->ClearCommand();
        else if (key == QLatin1String("Save"))
            m_player->saveSelected();
        else if (key == QLatin1String("Log"))
            openLog();
        else if (key == QLatin1String("Options"))
            showOptions(1);
        else if (key == QLatin1String("Events"))
            showEvents(1);
        else if (key == QLatin1String("Actions"))
            showActions(1);
    });
}

void frmMain::TBQuickOptionButtonClick(const QString& key)
{
    ErrorTrap("ErrTBQuickOption ", [this](const QString& l) { logLine(l); }).step([&] {
        if (key == QLatin1String("Add")) {
            openGreetingCreator();
        } else if (key == QLatin1String("Play")) {
            if (WavePlay().IsPlaying())
                return;
            m_flags.clearPreviews();
            m_flags.QuickPlaying = true;
            const int32_t result =
                m_player->PlayWave(m_programFolder + "/Greets/" + m_settings.engine.GreetingFile, false);
            if (result != 0)
                m_panels->setStatus(WavePlay().PlayErrorText(result));
        } else if (key == QLatin1String("Stop")) {
            if (WavePlay().IsPlaying() && m_flags.QuickPlaying) {
                WavePlay().StopPlay();
                m_flags.QuickPlaying = false;
            }
        }
    });
}

void frmMain::menuClick(const QString& name)
{
    if (name == QLatin1String("mnuExit") || name == QLatin1String("mnuExitSys"))
        Exit();
    else if (name == QLatin1String("mnuHide"))
        hideToTray();
    else if (name == QLatin1String("mnuOpen"))
        restoreWindow();
    else if (name == QLatin1String("mnuFirst"))
        m_callList->First();
    else if (name == QLatin1String("mnuLast"))
        m_callList->Last();
    else if (name == QLatin1String("mnuPlay"))
        m_player->playButton();
    else if (name == QLatin1String("mnuStop"))
        m_player->stopButton();
    else if (name == QLatin1String("mnuContents"))
        openPage(QUrl::fromLocalFile(m_programFolder + "/Help/index.htm").toString());
    else if (name == QLatin1String("mnuWebSite") || name == QLatin1String("mnuCheck4NewVersion"))
        openPage(m_commands->productPage());
    else if (name == QLatin1String("mnuBugReport"))
        openPage(m_commands->bugReportPage());
    else if (name == QLatin1String("mnuAbout"))
        frmAbout(m_commands->productPage(), this).exec();
    // Settings dialogs, each on the tab its menu names.
    else if (name == QLatin1String("mnuGeneral"))
        showOptions(1);
    else if (name == QLatin1String("mnuDevices"))
        showOptions(2);
    else if (name == QLatin1String("mnuAnswerMode"))
        showOptions(3);
    else if (name == QLatin1String("mnuAdvance"))
        showOptions(4);
    else if (name == QLatin1String("mnuEventsGeneral"))
        showEvents(1);
    else if (name == QLatin1String("mnuInComingCall"))
        showEvents(2);
    else if (name == QLatin1String("mnuIdelCall"))
        showEvents(3);
    else if (name == QLatin1String("mnuMail"))
        showActions(1);
    else if (name == QLatin1String("mnuAplication"))
        showActions(2);
    else if (name == QLatin1String("mnuGreetingCreator"))
        openGreetingCreator();
}

// ---- The log viewer and the greeting creator ----

void frmMain::openLog()
{
    frmLog viewer(
        m_log, [this](const QString& path) { m_player->SaveFile(path); }, this);
    viewer.exec();
}

QString frmMain::openGreetingCreator(QWidget* owner)
{
    QString saved;
    frmGreetC creator(
        WavePlay(), m_log, m_flags, m_programFolder, m_timeBase,
        [this, &saved](const QString& name) {
            saved = name;
            GreetingSaved(name);
        },
        owner ? owner : this);
    creator.exec();
    return saved;
}

void frmMain::GreetingSaved(const QString& name)
{
    m_settings.options.Greeting = name;
    m_settings.engine.GreetingFile = name + ".wav";
    m_quick->showSettings();
    emit greetingSaved(name);
}

// --- Settings dialogs ---

void frmMain::buildDialogHost()
{
    m_dialogHost.reset(
        new DialogHost{m_settings, m_log, Tapi1(), WavePlay(), DataBase1(), m_flags, m_programFolder});
    DialogHost& host = *m_dialogHost;
    host.playWave = [this](const QString& path) { return m_player->PlayWave(path, false); };
    host.getAppOptions = [this] { GetAppOptions(); };
    host.lineIsOpen = [this] { return m_engine->state().LineIsOpen; };
    // The engine answers on the line it opens last.
    host.openLine = [this](int line) {
        m_engine->state().LineIndex = line;
        m_engine->monitor().OpenLine(line);
    };
    host.closeLine = [this](int line) { m_engine->monitor().CloseLine(line); };
    host.refillGreetings = [this](const QString& selection) {
        QComboBox* list = m_quick->cmbDefGreet();
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItems(QuickSettings::GreetFilFile(m_programFolder + "/Greets/"));
        list->setCurrentIndex(selection.isEmpty() ? 0 : list->findText(selection));
    };
    host.setRecordMessage = [this](bool on) {
        const QSignalBlocker quiet(m_quick->chkRecMessage());
        m_quick->chkRecMessage()->setChecked(on);
    };
    host.relayout = [this] {
        if (m_layout)
            m_layout->Form_Resize(size(), m_settings.options.pQuickToolbar != 0);
    };
    host.viewCallViewer = [this](bool animate, int speed, int closeOn, int delay) {
        m_viewer->ViewCallViewer(animate, speed, closeOn, delay);
    };
    host.greetingCreator = [this](QWidget* owner) { return openGreetingCreator(owner); };
}

void frmMain::GetAppOptions()
{
    SettingsLoader(m_log, m_programFolder).GetAppOptions(m_settings.options, m_settings.engine);
    m_settings.options.MassagesPath = m_settings.engine.MessagesPath;
    EngineState& state = m_engine->state();
    if (!state.LineIsOpen)
        state.LineIndex = m_settings.engine.LineIndex;
}

void frmMain::showOptions(int tab)
{
    frmOptions dialog(*m_dialogHost, this);
    dialog.selectTab(tab);
    dialog.exec();
}

void frmMain::showEvents(int tab)
{
    frmEvents dialog(*m_dialogHost, this);
    dialog.selectTab(tab);
    dialog.exec();
}

void frmMain::showActions(int tab)
{
    frmActions dialog(*m_dialogHost, this);
    dialog.selectTab(tab);
    dialog.exec();
}

// --- end of settings dialogs ---

void frmMain::openPage(const QString& url)
{
    if (!url.isEmpty() && !QDesktopServices::openUrl(QUrl(url)))
        m_panels->setStatus("Cannot open " + url);
}

void frmMain::startInTray()
{
    if (TrayIcon::available()) {
        m_windowHidden = true;
        return;
    }
    logLine("No notification area on this desktop: Kalvo starts minimised instead of hidden");
    m_noTrayLogged = true;
    showMinimized();
}

void frmMain::hideToTray()
{
    if (!TrayIcon::available()) {
        // Hiding without a tray icon would leave no way back to the window.
        if (!m_noTrayLogged)
            logLine("No notification area on this desktop: the window is minimised instead of hidden");
        m_noTrayLogged = true;
        showMinimized();
        return;
    }
    saveView();
    m_windowHidden = true;
    hide();
}

void frmMain::saveView()
{
    ErrorTrap("ErrSetView ", [this](const QString& l) { logLine(l); }).step([&] {
        WindowView::SetView(*this, m_windowHidden, m_settings.view);
    });
}

void frmMain::restoreWindow()
{
    ErrorTrap("ErrForm_MouseMove ", [this](const QString& l) { logLine(l); }).step([&] {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showNormal();
        raise();
        activateWindow();
        m_windowHidden = false;
        m_tray->stopBlink();
        m_tray->MakeSysTryBaloon(m_callList->totalCalls(), m_callList->unreadCalls());
    });
}

void frmMain::Exit()
{
    if (m_exited)
        return;
    m_exitRequested = true;
    close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void frmMain::Form_Unload(bool& cancel)
{
    if (!m_exitRequested) {
        // The close box only hides the window; calls are still answered.
        cancel = true;
        hideToTray();
        return;
    }
    if (m_exited)
        return;
    m_exited = true;
    ErrorTrap trap("ErrForm_Unload ", [this](const QString& l) { logLine(l); });
    trap.step([&] {
        for (const char* form : {"frmMSG", "frmLog"})
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->objectName() == QLatin1String(form))
                    widget->close();
    });
    trap.step([&] { finishCallInProgress(); });
    trap.step([&] {
        if (Wave1().IsPlaying())
            Wave1().StopPlay();
    });
    trap.step([&] {
        if (WavePlay().IsPlaying())
            WavePlay().StopPlay();
    });
    trap.step([&] { m_engine->monitor().CloseLine(m_engine->state().LineIndex); });
    m_log.WriteSysLog("Unload Kalvo");
    m_log.WriteCallsLog("Unload Kalvo");
    saveView();
    trap.step([&] { m_tray->clear(); });
    QCoreApplication::quit();
}

void frmMain::finishCallInProgress()
{
    EngineState& state = m_engine->state();
    if (!state.InCall)
        return;
    CallFlow& flow = m_engine->flow();
    if (Wave1().IsRecording())
        flow.StopRecMessage();
    if (Tapi1().LineConnected(state.LineIndex))
        flow.DropCall();
    if (!state.AdminMode)
        m_engine->actions().storeCall();
    // The line's own Idle for this call finds it finished and stores nothing twice.
    state.InCall = false;
}
