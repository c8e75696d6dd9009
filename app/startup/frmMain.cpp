// The main form.
#include "frmMain.h"

#include "AnsweringEngine.h"
#include "CallList.h"
#include "CallNotices.h"
#include "CallStore.h"
#include "FrameCommands.h"
#include "FrameIcons.h"
#include "FrameLayout.h"
#include "LineSwitch.h"
#include "MainCommands.h"
#include "MessageBox.h"
#include "MessagePlayer.h"
#include "MessageStore.h"
#include "PrivateFiles.h"
#include "QuickSettings.h"
#include "RecoveredMessages.h"
#include "SettingsLoader.h"
#include "SettingsWriter.h"
#include "TalkSwitch.h"
#include "TimeBase.h"
#include "TrayIcon.h"
#include "UserNotices.h"
#include "WindowView.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

namespace {
// Grid lines and full-row selection of the call list (the check box Check1 of the form); the
// design size of the window, in twips.
constexpr bool kCheck1 = true;
constexpr int kDesignWidthTwips = 9600, kDesignHeightTwips = 7200;
} // namespace

frmMain::frmMain(const QString& programFolder, const Clock& clock, QWidget* parent)
    : frmMain(programFolder, FormParts(), clock, TimeBase::real(), parent)
{
}

frmMain::frmMain(const QString& programFolder, FormParts parts, const Clock& clock, const TimeBase& timeBase,
                 QWidget* parent)
    : QMainWindow(parent), m_programFolder(programFolder), m_log(programFolder + "/Log/", clock),
      m_parts(FormParts::withStandardParts(std::move(parts))), m_viewer(std::make_unique<frmMSG>(timeBase))
{
    PrivateFiles::ownerOnlyByDefault();
    setObjectName("frmMain");
    setWindowTitle("Kalvo 1.0");
    setWindowIcon(FrameIcons::appIcon());
    resize(kDesignWidthTwips / WindowView::kTwipsPerPixel, kDesignHeightTwips / WindowView::kTwipsPerPixel);
    const ErrorTrap load = trap("ErrorLoadFormMain->");
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The switches are known before the loaders run, so their own conversion failures are logged.
    SettingsLoader::GetLogSwitches(m_log);
    SettingsLoader(m_log, m_programFolder).loadAll(m_settings);
    load.step([&] { buildForm(timeBase, clock); });
    trap("ErrGetView ").step([&] { WindowView::GetView(*this, m_settings.view); });
    QGuiApplication::restoreOverrideCursor();
    m_log.WriteSysLog("Load Kalvo");
    m_log.WriteCallsLog("Load Kalvo");
    // The lines' own settings dialogs, shown from the options dialog.
    FormParts::installLineDialogs();
    load.step([&] { logLine("LineInitialize->" + Tapi1().GetTapiStrError(Tapi1().LineInitialize())); });
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

void frmMain::buildForm(const TimeBase& timeBase, const Clock& clock)
{
    auto* area = new QWidget(this);
    area->setObjectName("FrameArea");
    setCentralWidget(area);
    m_panels = new StatusPanels(*statusBar(), clock, timeBase);
    const auto status = [this](const QString& text) { m_panels->setStatus(text); };
    m_messages = std::make_unique<MessageStore>(DataBase1(), m_settings.engine.MessagesPath, m_log);
    m_callList = new CallList(*m_messages, m_settings.options, m_log, area);
    m_store = std::make_unique<CallStore>(DataBase1(), Wave1(), m_log);
    m_callNotices = new CallNotices(*m_viewer, m_settings.events, this);
    m_engine =
        new AnsweringEngine(Tapi1(), Wave1(), m_log, m_settings, timeBase, clock, m_callNotices->viewer(),
                            *m_callList, *m_messages, *m_store, Mail1(), m_programFolder, status, this);
    m_player = new MessagePlayer(
        WavePlay(), *m_callList, *m_messages, m_settings, m_log, timeBase, m_flags,
        [this] { return Tapi1().LineGetWaveOutID(m_engine->lineIndex()); }, area);
    m_player->setStatusSink(status);
    m_engine->setCardPlayer([this](const QString& path) { m_player->PlayWave(path, false); },
                            [this] { return WavePlay().IsPlaying(); });
    connect(m_engine, &AnsweringEngine::userNotice, this,
            [](const QString& text) { MessageBox::show(text, MessageBox::Information); });
    // A call that ends while the window is hidden makes the tray icon blink until it is clicked.
    m_engine->setWindowHooks([this] { return m_hiding->hidden(); }, [this] { m_tray->startBlink(); });
    buildFrame(timeBase);
    DialogHost host{m_settings, m_log, Tapi1(), WavePlay(), *m_messages, m_flags, m_programFolder};
    host.refillGreetings = [this](const QString& selection) { m_quick->refillGreetings(selection); };
    host.setRecordMessage = [this](bool on) { m_quick->showRecordMessage(on); };
    host.relayout = [this] { relayout(); };
    host.viewCallViewer = std::bind_front(&frmMSG::ViewCallViewer, m_viewer.get());
    m_dialogs = std::make_unique<DialogLauncher>(
        std::move(host), *m_engine, *m_player, timeBase, [this](const QString& name) { GreetingSaved(name); },
        *this);
    bindMainCommands(m_commandTable,
                     {*m_callList, *m_player, *m_dialogs,
                      [this] { return m_programFolder + "/Greets/" + m_settings.engine.GreetingFile; },
                      [this] { Exit(); }, [this] { m_hiding->hideToTray(); }, [this] { restoreWindow(); },
                      *m_commands, m_programFolder, status,
                      [this] { frmAbout(m_commands->productPage(), this).exec(); }});
    // Load order: the list's look, the panels and columns, then the quick settings.
    m_callList->setGridLines(kCheck1);
    m_panels->CreatePanel();
    m_callList->RangeListTitle();
    m_quick->showSettings();
    m_engine->monitor().PutStatusBarUnMonitorModem();
}

void frmMain::buildFrame(const TimeBase& timeBase)
{
    m_lineSwitch = new LineSwitch(*m_engine, this);
    m_commands = new FrameCommands(*this, m_lineSwitch->onOffButton(), m_lineSwitch->mnuOn(),
                                   m_lineSwitch->mnuOff(), FrameCommands::builtWebHost());
    QWidget* area = centralWidget();
    m_commands->CoolBar1()->setParent(area);
    m_quick = new QuickSettings(m_settings, m_programFolder, m_commands->quickBand());
    m_layout = std::make_unique<FrameLayout>(area, *m_commands, *m_quick, m_callList->view(),
                                             m_player->toolBar(), m_player->slider(), m_panels);

    m_tray = new TrayIcon(windowIcon(), m_commands->mnuSystry(), timeBase, this);
    connect(m_messages.get(), &MessageStore::countsChanged, this, [this](int total, int unread) {
        trap("ErrMakeSysTryBaloon ").step([&] { m_tray->MakeSysTryBaloon(total, unread); });
        m_commands->setListCommandsEnabled(total > 0);
    });
    m_hiding =
        std::make_unique<WindowHiding>(*this, *m_tray, m_settings, [this](const QString& l) { logLine(l); });
    // Failures the user must act on reach the status bar and the tray, once per cause.
    m_notices = new UserNotices(
        *m_tray, [this](const QString& text) { m_panels->setStatus(text); }, this);
    connect(m_engine, &AnsweringEngine::problem, m_notices, &UserNotices::tell);
    connect(m_engine, &AnsweringEngine::solved, m_notices, &UserNotices::solved);
    m_callNotices->bind(*m_engine, *m_notices, *m_messages,
                        std::bind_front(&MessagePlayer::playCall, m_player), [this] { restoreWindow(); });
    connect(m_tray, &TrayIcon::restoreRequested, this, &frmMain::restoreWindow);
    new TalkSwitch(m_engine->talk(), *this, *m_commands->mnuSystry(), *m_tray, *m_panels, this);
    connect(&m_engine->monitor(), &LineMonitor::reachChanged, m_tray, &TrayIcon::setLineTip);
    connect(m_commands, &FrameCommands::toolbarButton, this, &frmMain::Toolbar1ButtonClick);
    connect(m_commands, &FrameCommands::quickButton, this, &frmMain::TBQuickOptionButtonClick);
    connect(m_commands, &FrameCommands::menuCommand, this, &frmMain::menuClick);
}

void frmMain::Toolbar1ButtonClick(const QString& key)
{
    trap("ErrToolbar1ButtonClick ").step([&] { m_commandTable.run(key); });
}

void frmMain::TBQuickOptionButtonClick(const QString& key)
{
    // "Play" and "Stop" of the strip are the greeting's, not the message player's.
    const QString name = key == QLatin1String("Add") ? key : "Quick" + key;
    trap("ErrTBQuickOption ").step([&] { m_commandTable.run(name); });
}

void frmMain::Form_Initialize()
{
    if (m_initialized)
        return;
    m_initialized = true;
    const ErrorTrap init = trap("ErrorInitializeFormMain->");
    // Recordings cut short by a crash or kill become calls (or takes) before the list is made.
    const auto tell = [](const QString& text) { MessageBox::show(text, MessageBox::Exclamation); };
    RecoveredMessages::openAtStart(*m_store, m_log, m_programFolder, m_settings.engine.MessagesPath, init,
                                   tell, std::bind_front(&UserNotices::tell, m_notices, "calls-rebuilt"));
    init.step([&] { m_callList->makeList(); });
    init.step([&] {
        if (m_engine->startLine())
            m_player->PlayWave(m_programFolder + "/beep.wav", false);
    });
}

void frmMain::GreetingSaved(const QString& name)
{
    SettingsWriter(m_settings).PutGreeting(name);
    m_quick->showSettings();
    emit greetingSaved(name);
}

void frmMain::relayout()
{
    if (m_layout)
        m_layout->Form_Resize(size(), m_settings.options.pQuickToolbar != 0);
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Layout problems never reach the user.
    try {
        relayout();
    } catch (...) {
    }
}

void frmMain::restoreWindow()
{
    m_hiding->restore(m_messages->total(), m_messages->unread());
}

void frmMain::Exit(bool askUser)
{
    if (m_exited)
        return;
    m_askOnExit = askUser;
    m_exitRequested = true;
    close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    Form_Unload(cancel);
    event->setAccepted(!cancel);
}

void frmMain::Form_Unload(bool& cancel)
{
    if (!m_exitRequested) {
        // The close box only hides the window; calls are still answered.
        cancel = true;
        m_hiding->hideToTray();
        return;
    }
    if (m_exited)
        return;
    m_exited = true;
    const ErrorTrap unload = trap("ErrForm_Unload ");
    unload.step([&] {
        m_viewer->close();
        m_dialogs->closeOnExit(m_askOnExit);
    });
    // A message being recorded is kept; the line's sound stops and the line closes.
    m_engine->finishOnExit(unload);
    unload.step([&] {
        if (WavePlay().IsPlaying())
            WavePlay().StopPlay();
    });
    m_log.WriteSysLog("Unload Kalvo");
    m_log.WriteCallsLog("Unload Kalvo");
    m_hiding->saveView();
    unload.step([&] { m_tray->clear(); });
    QCoreApplication::quit();
}
