// Opens the windows that the main window shows modally: the settings dialogs on a tab, the log
// viewer and the greeting creator. It builds what they reach of the main window (DialogHost) and
// reloads the engine's values after a settings dialog.
#pragma once

#include "DialogHost.h"

#include <QString>
#include <functional>

class AnsweringEngine;
class frmRules;
class MessagePlayer;
class QWidget;
class TimeBase;

class DialogLauncher
{
public:
    // host carries the references and the window's own hooks (greeting list, record box, layout,
    // caller viewer); the launcher adds the engine's and the player's. greetingSaved makes a
    // greeting the creator saved the configured one. owner is the window the dialogs open over.
    DialogLauncher(DialogHost host, AnsweringEngine& engine, MessagePlayer& player, const TimeBase& timeBase,
                   std::function<void(const QString&)> greetingSaved, QWidget& owner);

    DialogHost& host() { return m_host; }

    // Each opens modally on a tab (1 = the first), as its menus and toolbar key do.
    void showOptions(int tab);
    void showEvents(int tab);
    void showActions(int tab);
    void openLog();
    // The caller rules; with a caller, the editor starts on a new block (or allow) rule for it.
    void showCallerRules();
    // Exit from a menu during a call asks first. @return true when Kalvo may exit.
    bool confirmExit();
    // The help page file in the desktop's browser, or without one in Kalvo's own help window.
    void showHelp(const QString& file);
    void showCallerRules(bool allow, const QString& callerName, const QString& callerNumber);
    // Shows the greeting creator over owner (the window when null); returns the name of the
    // greeting it saved, or an empty text.
    QString openGreetingCreator(QWidget* owner = nullptr);
    // Kalvo ends: the log viewer closes, and a greeting being recorded is kept as an unsaved take (or
    // thrown away when askUser and the user says so).
    static void closeOnExit(bool askUser);
    // Reloads the engine's copies from the settings key; a closed line follows the stored modem.
    void GetAppOptions();

private:
    void addScreeningPage(frmRules& dialog);
    DialogHost m_host;
    AnsweringEngine& m_engine;
    MessagePlayer& m_player;
    const TimeBase& m_timeBase;
    std::function<void(const QString&)> m_greetingSaved;
    QWidget& m_owner;
};
