// What each command of the main window does: binds the toolbar keys, the quick strip, the menu
// items and the tray items to the list, the player, the dialogs and the window.
#pragma once

#include <QString>
#include <functional>

class CallList;
class CommandTable;
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
    std::function<void(const QString& page)> openPage; // "help", "product" or "bugs"
    std::function<void()> about;
};

// Quick-strip keys are bound as "Quick" + key where the key repeats a player key ("Play", "Stop").
void bindMainCommands(CommandTable& table, const MainCommandTargets& to);
