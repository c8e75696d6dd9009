// The main form: owns the in-memory settings and the logs, and hosts everything else of the program.
#pragma once

#include "WaveControl.h"

#include "MailSender.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "mdlLog.h"

#include <QMainWindow>
#include <memory>

class AnsweringEngine;
class CallList;
class CallStore;
class CallerViewer;
class LineControl;
class MessagePlayer;
class QLabel;
class QuickSettings;
class TimeBase;

namespace kalvo {
class CallDatabase;
}

// The line control and the components the form hosts; a part left empty gets the standard one.
struct FormParts
{
    std::unique_ptr<LineControl> tapi;
    std::unique_ptr<WaveControl> wave1;
    std::unique_ptr<WaveControl> wavePlay;
    std::unique_ptr<kalvo::CallDatabase> database;
    std::unique_ptr<kalvo::MailSender> mail1;
    // The sound card's devices in the wave device table, kept while the form lives.
    std::unique_ptr<QObject> soundCard;
};

class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    // programFolder is the program folder (no trailing "/"). Loading reads the settings and writes
    // "Load Kalvo" to both logs; the window is not shown. The rest of the start (call database, call
    // list, modem line, start beep) follows as soon as the event loop runs, or by Form_Initialize.
    explicit frmMain(const QString& programFolder, const Clock& clock = Clock::system(),
                     QWidget* parent = nullptr);
    frmMain(const QString& programFolder, FormParts parts, const Clock& clock, const TimeBase& timeBase,
            QWidget* parent = nullptr);
    ~frmMain() override;

    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    mdlLog& log() { return m_log; }
    QString programFolder() const { return m_programFolder; }

    // Opens the call database, fills the call list, selects and opens the modem line and plays the
    // start beep. Runs once.
    void Form_Initialize();

    LineControl& Tapi1() { return *m_parts.tapi; }
    WaveControl& Wave1() { return *m_parts.wave1; }
    WaveControl& WavePlay() { return *m_parts.wavePlay; }
    kalvo::CallDatabase& DataBase1() { return *m_parts.database; }
    kalvo::MailSender& Mail1() { return *m_parts.mail1; }
    CallerViewer& viewer() { return *m_viewer; }
    CallList& callList() { return *m_callList; }
    MessagePlayer& player() { return *m_player; }
    AnsweringEngine& engine() { return *m_engine; }
    PlaybackFlags& playbackFlags() { return m_flags; }
    // Text of the first status-bar panel.
    QString statusText() const;

    // The main toolbar's buttons by key ("Next", "Back", "Delete", "Clear", "Save").
    void Toolbar1ButtonClick(const QString& key);

private:
    void loadSettings();
    void applyPlacement(const WindowPlacement& view);
    void buildForm(const TimeBase& timeBase, const Clock& clock);

    QString m_programFolder;
    mdlLog m_log;
    Settings m_settings;
    FormParts m_parts;
    PlaybackFlags m_flags;
    std::unique_ptr<CallerViewer> m_viewer;
    std::unique_ptr<CallStore> m_store;
    QLabel* m_statusPanel = nullptr;
    CallList* m_callList = nullptr;
    MessagePlayer* m_player = nullptr;
    QuickSettings* m_quick = nullptr;
    AnsweringEngine* m_engine = nullptr;
    bool m_initialized = false;
};
