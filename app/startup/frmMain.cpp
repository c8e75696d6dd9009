// The main form.
#include "frmMain.h"

#include "AnsweringEngine.h"
#include "CallList.h"
#include "CallStore.h"
#include "CallerViewer.h"
#include "ErrorTrap.h"
#include "MessagePlayer.h"
#include "NullDevices.h"
#include "QuickSettings.h"
#include "RecordingFile.h"
#include "RecoveredMessages.h"
#include "SettingsLoader.h"
#include "SoundCardBackend.h"
#include "SqliteCallDatabase.h"
#include "TapiLineControl.h"
#include "TimeBase.h"
#include "VbConvert.h"
#include "WaveSoundDevice.h"
#include "mdlReg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
// Twips per pixel at the desktop's usual 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
// Grid lines and full-row selection of the call list (the check box Check1 of the form).
constexpr bool kCheck1 = true;

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
      m_parts(standardParts(std::move(parts))), m_viewer(std::make_unique<NoCallerViewer>())
{
    setObjectName("frmMain");
    setWindowTitle("Kalvo 1.0");
    resize(640, 480);
    ErrorTrap trap("ErrorLoadFormMain->", [this](const QString& l) { m_log.WriteSysLog(l); });
    loadSettings();
    trap.step([&] { buildForm(timeBase, clock); });
    m_log.WriteSysLog("Load Kalvo");
    m_log.WriteCallsLog("Load Kalvo");
    trap.step([&] {
        const int result = Tapi1().LineInitialize();
        m_log.WriteSysLog("LineInitialize->" + Tapi1().GetTapiStrError(result));
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
    applyPlacement(m_settings.view);
}

void frmMain::buildForm(const TimeBase& timeBase, const Clock& clock)
{
    m_statusPanel = new QLabel(this);
    m_statusPanel->setObjectName("StatusBar1Panel1");
    statusBar()->addWidget(m_statusPanel, 1);

    m_callList = new CallList(DataBase1(), m_settings.options, m_log, this);
    m_callList->setGridLines(kCheck1);
    m_callList->RangeListTitle();
    m_store = std::make_unique<CallStore>(DataBase1(), Wave1(), m_log);
    m_engine = new AnsweringEngine(
        Tapi1(), Wave1(), m_log, m_settings, timeBase, clock, *m_viewer, *m_callList, *m_store,
        m_programFolder, [this](const QString& text) { m_statusPanel->setText(text); }, this);
    m_player = new MessagePlayer(
        WavePlay(), *m_callList, DataBase1(), m_settings, m_log, timeBase, m_flags,
        [this] { return Tapi1().LineGetWaveOutID(m_engine->state().LineIndex); }, this);
    m_engine->flow().setCardPlayer([this](const QString& path) { m_player->PlayWave(path, false); },
                                   [this] { return WavePlay().IsPlaying(); });
    m_quick = new QuickSettings(m_settings, m_programFolder, this);
    m_quick->showSettings();

    LineMonitor& monitor = m_engine->monitor();
    QToolBar* toolbar = addToolBar("Toolbar1");
    toolbar->setObjectName("Toolbar1");
    toolbar->addAction(monitor.onOffButton());
    for (const char* key : {"Next", "Back", "Delete", "Clear", "Save"}) {
        QAction* button = toolbar->addAction(key);
        button->setObjectName(key);
        connect(button, &QAction::triggered, this, [this, key] { Toolbar1ButtonClick(key); });
    }
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("Save", this, [this] { Toolbar1ButtonClick("Save"); });
    file->addAction("Delete", this, [this] { Toolbar1ButtonClick("Delete"); });
    file->addAction("Clear", this, [this] { Toolbar1ButtonClick("Clear"); });
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction("First", this, [this] { m_callList->First(); });
    edit->addAction("Last", this, [this] { m_callList->Last(); });
    edit->addAction("Next", this, [this] { m_callList->Next(); });
    edit->addAction("Back", this, [this] { m_callList->Back(); });
    edit->addAction("Play", this, [this] { m_player->playButton(); });
    edit->addAction("Stop", this, [this] { m_player->stopButton(); });
    QMenu* line = menuBar()->addMenu("&Monitor");
    line->addAction(monitor.mnuOn());
    line->addAction(monitor.mnuOff());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* quick = new QHBoxLayout;
    quick->addWidget(m_quick->chkRecMessage());
    quick->addWidget(new QLabel("Rings:", central));
    quick->addWidget(m_quick->cmbRings());
    quick->addWidget(new QLabel("Greeting:", central));
    quick->addWidget(m_quick->cmbDefGreet(), 1);
    layout->addLayout(quick);
    layout->addWidget(m_callList->view(), 1);
    auto* strip = new QHBoxLayout;
    strip->addWidget(m_player->toolBar());
    strip->addWidget(m_player->slider(), 1);
    layout->addLayout(strip);
    setCentralWidget(central);
    monitor.PutStatusBarUnMonitorModem();
}

void frmMain::Form_Initialize()
{
    if (m_initialized)
        return;
    m_initialized = true;
    ErrorTrap trap("ErrorInitializeFormMain->", [this](const QString& l) { m_log.WriteSysLog(l); });
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
    return m_statusPanel ? m_statusPanel->text() : QString();
}

void frmMain::Toolbar1ButtonClick(const QString& key)
{
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
}

void frmMain::applyPlacement(const WindowPlacement& view)
{
    if (windowState() != Qt::WindowNoState)
        return;
    const int32_t unset = WindowPlacement::kUnset;
    if (view.MeTop != unset && view.MeLeft != unset)
        move(view.MeLeft / kTwipsPerPixel, view.MeTop / kTwipsPerPixel);
    if (view.MeWidth != unset && view.MeHeight != unset && view.MeWidth > 0 && view.MeHeight > 0)
        resize(view.MeWidth / kTwipsPerPixel, view.MeHeight / kTwipsPerPixel);
}
