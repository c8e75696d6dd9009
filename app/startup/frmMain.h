// The main form: owns the in-memory settings, the logs and the parts, and composes the frame
// (toolbars, menus, status panels, tray, placement) with the answering engine, call list and player.
#pragma once

#include "CommandTable.h"
#include "DialogLauncher.h"
#include "ErrorTrap.h"
#include "FormParts.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "StatusPanels.h"
#include "WindowHiding.h"
#include "frmMSG.h"
#include "mdlLog.h"

#include <QMainWindow>
#include <memory>

class AnsweringEngine;
class CallList;
class CallNotices;
class CallStore;
class FrameCommands;
class FrameLayout;
class LineSwitch;
class MessagePlayer;
class MessageStore;
class QuickSettings;
class TimeBase;
class UserNotices;
class TrayIcon;

class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    // programFolder is the program folder (no trailing "/"). Loading reads the settings, builds the frame
    // and writes "Load Kalvo" to both logs; the window is not shown. The rest of the start (database,
    // call list, modem line, start beep) follows as soon as the event loop runs, or by Form_Initialize.
    explicit frmMain(const QString& programFolder, const Clock& clock = Clock::system(),
                     QWidget* parent = nullptr);
    frmMain(const QString& programFolder, FormParts parts, const Clock& clock, const TimeBase& timeBase,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // Opens the call database, fills the call list, selects and opens the modem line and plays the
    // start beep. Runs once.
    void Form_Initialize();

    // The parts, for the tests and tools that drive the form.
    Settings& settings() { return m_settings; }
    mdlLog& log() { return m_log; }
    QString programFolder() const { return m_programFolder; }
    LineControl& Tapi1() { return *m_parts.tapi; }
    WaveControl& Wave1() { return *m_parts.wave1; }
    WaveControl& WavePlay() { return *m_parts.wavePlay; }
    kalvo::CallDatabase& DataBase1() { return *m_parts.database; }
    kalvo::MailSender& Mail1() { return *m_parts.mail1; }
    frmMSG& viewer() { return *m_viewer; }
    CallList& callList() { return *m_callList; }
    MessageStore& messages() { return *m_messages; }
    MessagePlayer& player() { return *m_player; }
    AnsweringEngine& engine() { return *m_engine; }
    PlaybackFlags& playbackFlags() { return m_flags; }
    TrayIcon& tray() { return *m_tray; }
    FrameCommands& commands() { return *m_commands; }
    DialogHost& dialogHost() { return m_dialogs->host(); }
    // Text of the first status-bar panel.
    QString statusText() const { return m_panels ? m_panels->status() : QString(); }

    // Starts as at login ("-st"): hidden with only the tray icon, or minimised where the desktop has
    // no notification area, so the window can always be found again.
    void startInTray() { m_hiding->startInTray(); }
    // Brings the window back: normal state, shown, in front; the tray stops blinking.
    void restoreWindow();
    // True once the window was hidden to the tray (close box, "Hide", start in the tray).
    bool WindowHidden() const { return m_hiding->hidden(); }
    bool ExitRequested() const { return m_exitRequested; }
    // The two Exit commands (mnuExit, mnuExitSys), and without questions to the user the signals
    // and session end that act like them.
    void Exit(bool askUser = true);

    // The main toolbar's keys, the quick strip's keys ("Add", "Play", "Stop") and the menu items by
    // name, each run through the command table.
    void Toolbar1ButtonClick(const QString& key);
    void TBQuickOptionButtonClick(const QString& key);
    void menuClick(const QString& name) { m_commandTable.run(name); }

    // A greeting was saved: it becomes the configured one, the main window's list shows it, and the
    // next call plays it.
    void GreetingSaved(const QString& name);

signals:
    // After GreetingSaved, for other open greeting lists.
    void greetingSaved(const QString& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildForm(const TimeBase& timeBase, const Clock& clock);
    void buildFrame(const TimeBase& timeBase);
    void relayout();
    void Form_Unload(bool& cancel);
    void logLine(const QString& line) const { m_log.WriteSysLog(line); }
    ErrorTrap trap(const char* label) const
    {
        return ErrorTrap(label, [this](const QString& l) { logLine(l); });
    }

    QString m_programFolder;
    mdlLog m_log;
    Settings m_settings;
    FormParts m_parts;
    PlaybackFlags m_flags;
    CommandTable m_commandTable;
    std::unique_ptr<frmMSG> m_viewer;
    std::unique_ptr<MessageStore> m_messages;
    std::unique_ptr<CallStore> m_store;
    std::unique_ptr<FrameLayout> m_layout;
    std::unique_ptr<DialogLauncher> m_dialogs;
    std::unique_ptr<WindowHiding> m_hiding;
    StatusPanels* m_panels = nullptr;
    UserNotices* m_notices = nullptr;
    FrameCommands* m_commands = nullptr;
    CallNotices* m_callNotices = nullptr;
    LineSwitch* m_lineSwitch = nullptr;
    TrayIcon* m_tray = nullptr;
    CallList* m_callList = nullptr;
    MessagePlayer* m_player = nullptr;
    QuickSettings* m_quick = nullptr;
    AnsweringEngine* m_engine = nullptr;
    bool m_initialized = false, m_exitRequested = false, m_exited = false, m_askOnExit = true;
};
