// What each command of the main window does: binds the toolbar keys, the quick strip, the menu
// items and the tray items to the list, the player, the dialogs and the window.
#pragma once

#include <QString>
#include <functional>

class CallList;
class CommandTable;
class FrameCommands;
class DialogLauncher;
class MessagePlayer;

struct MainCommandTargets
{
    CallList& list;
    MessagePlayer& player;
    DialogLauncher& dialogs;
    std::function<QString()> greetingPath; // the configured greeting's file
    std::function<void()> exit;
    std::function<void()> hide;
    std::function<void()> restore;
    FrameCommands& frame;                       // the web pages and the about box's page
    QString programFolder;                      // the help page's folder
    std::function<void(const QString&)> status; // a page that cannot be opened is said here
    std::function<void()> about;
};

// Quick-strip keys are bound as "Quick" + key where the key repeats a player key ("Play", "Stop").
void bindMainCommands(CommandTable& table, const MainCommandTargets& to);
