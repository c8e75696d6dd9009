// The main form: owns the in-memory settings, the logs and the components, and composes the frame
// (toolbars, menus, status panels, tray, placement) with the answering engine, call list and player.
#pragma once

#include "WaveControl.h"

#include "MailSender.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "frmMSG.h"
#include "mdlLog.h"

#include <QMainWindow>
#include <memory>

class AnsweringEngine;
struct DialogHost;
class CallList;
class CallStore;
class CallerViewer;
class FrameCommands;
class FrameLayout;
class LineControl;
class MessagePlayer;
class QuickSettings;
class StatusPanels;
class TimeBase;
class TrayIcon;

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
    // programFolder is the program folder (no trailing "/"). Loading reads the settings, builds the
    // frame and writes "Load Kalvo" to both logs; the window is not shown. The rest of the start
    // (call database, call list, modem line, start beep) follows as soon as the event loop runs, or
    // by Form_Initialize.
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
    frmMSG& viewer() { return *m_viewer; }
    CallList& callList() { return *m_callList; }
    MessagePlayer& player() { return *m_player; }
    AnsweringEngine& engine() { return *m_engine; }
    PlaybackFlags& playbackFlags() { return m_flags; }
    TrayIcon& tray() { return *m_tray; }
    FrameCommands& commands() { return *m_commands; }
    // Text of the first status-bar panel.
    QString statusText() const;

    // Starts as at login ("-st"): hidden with only the tray icon, or minimised where the desktop has
    // no notification area, so the window can always be found again.
    void startInTray();
    // Brings the window back: normal state, shown, in front; the tray stops blinking.
    void restoreWindow();
    // True once the window was hidden to the tray (close box, "Hide", start in the tray).
    bool WindowHidden() const { return m_windowHidden; }
    bool ExitRequested() const { return m_exitRequested; }

    // The two Exit commands (mnuExit, mnuExitSys) and the signals and session end that act like them.
    void Exit();

    // The main toolbar's buttons by key.
    void Toolbar1ButtonClick(const QString& key);
    // The quick strip's buttons: "Add", "Play", "Stop".
    void TBQuickOptionButtonClick(const QString& key);
    // The menu items that do not repeat a toolbar key, by name.
    void menuClick(const QString& name);

    // --- Settings dialogs ---
    // Each opens modally over the window on a tab (1 = the first), as its menus and toolbar key do.
    void showOptions(int tab);
    void showEvents(int tab);
    void showActions(int tab);
    // What the dialogs reach of the window.
    DialogHost& dialogHost() { return *m_dialogHost; }
    // Reloads the engine's copies from the settings key; a closed line follows the stored modem.
    void GetAppOptions();
    // --- end of settings dialogs ---

    // A greeting was saved: it becomes the configured one, the main window's list shows it, and the
    // next call plays it.
    void GreetingSaved(const QString& name);

signals:
    // After GreetingSaved, for other open greeting lists (the options dialog's).
    void greetingSaved(const QString& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void loadSettings();
    void buildForm(const TimeBase& timeBase, const Clock& clock);
    void buildFrame(const TimeBase& timeBase, const Clock& clock);
    void buildDialogHost();
    void Form_Unload(bool& cancel);
    void hideToTray();
    void saveView();
    // On the way out: a message being recorded is kept as the call's message and the caller hung up on.
    void finishCallInProgress();
    void openPage(const QString& url);
    void logLine(const QString& line) const { m_log.WriteSysLog(line); }
    void openLog();
    // Shows the greeting creator over owner (the window itself when null); returns the name of the
    // greeting it saved, or an empty text.
    QString openGreetingCreator(QWidget* owner = nullptr);

    QString m_programFolder;
    mdlLog m_log;
    const TimeBase& m_timeBase;
    Settings m_settings;
    FormParts m_parts;
    PlaybackFlags m_flags;
    std::unique_ptr<frmMSG> m_viewer;
    std::unique_ptr<CallStore> m_store;
    std::unique_ptr<FrameLayout> m_layout;
    std::unique_ptr<DialogHost> m_dialogHost;
    StatusPanels* m_panels = nullptr;
    FrameCommands* m_commands = nullptr;
    TrayIcon* m_tray = nullptr;
    CallList* m_callList = nullptr;
    MessagePlayer* m_player = nullptr;
    QuickSettings* m_quick = nullptr;
    AnsweringEngine* m_engine = nullptr;
    bool m_initialized = false;
    bool m_exitRequested = false;
    bool m_exited = false;
    bool m_windowHidden = false;
    bool m_noTrayLogged = false;
};
