// The main window's commands and their handlers.
#include "MainCommands.h"

#include "CallList.h"
#include "CommandTable.h"
#include "DialogLauncher.h"
#include "FrameCommands.h"
#include "MessagePlayer.h"

#include <QUrl>

void bindMainCommands(CommandTable& table, const MainCommandTargets& to)
{
    CallList& list = to.list;
    MessagePlayer& player = to.player;
    DialogLauncher& dialogs = to.dialogs;
    const auto open = [&frame = to.frame, folder = to.programFolder, status = to.status](const char* page) {
        if (const QString url = frame.pageUrl(page, folder); !FrameCommands::openPage(url))
            status("Cannot open " + url);
    };
    // Exit from a menu asks first during a call; signals and the session's quit do not.
    const auto exitAsking = [&dialogs, exit = to.exit] {
        if (dialogs.confirmExit())
            exit();
    };
    table.bind({
        // Toolbar1's keys and the menu items that repeat them.
        {"Next", [&list] { list.Next(); }},
        {"Back", [&list] { list.Back(); }},
        {"Delete", [&list] { list.DeleteCommand(); }},
        {"Clear", [&list] { list.ClearCommand(); }},
        {"Save", [&player] { player.saveSelected(); }},
        {"Log", [&dialogs] { dialogs.openLog(); }},
        {"Options", [&dialogs] { dialogs.showOptions(1); }},
        {"Events", [&dialogs] { dialogs.showEvents(1); }},
        {"Actions", [&dialogs] { dialogs.showActions(1); }},
        // The quick strip: the greeting's preview.
        {"Add", [&dialogs] { dialogs.openGreetingCreator(); }},
        {"QuickPlay", [&player, path = to.greetingPath] { player.PlayGreetingPreview(path()); }},
        {"QuickStop", [&player] { player.StopGreetingPreview(); }},
        // The menus and the tray menu.
        {"mnuExit", exitAsking},
        {"mnuExitSys", exitAsking},
        {"mnuHide", to.hide},
        {"mnuOpen", to.restore},
        {"mnuFirst", [&list] { list.First(); }},
        {"mnuLast", [&list] { list.Last(); }},
        {"mnuPlay", [&player] { player.playButton(); }},
        {"mnuStop", [&player] { player.stopButton(); }},
        {"mnuContents",
         [&dialogs, &frame = to.frame, folder = to.programFolder] {
             dialogs.showHelp(QUrl(frame.pageUrl("help", folder)).toLocalFile());
         }},
        {"mnuWebSite", [open] { open("product"); }},
        {"mnuCheck4NewVersion", [open] { open("product"); }},
        {"mnuBugReport", [open] { open("bugs"); }},
        {"mnuAbout", to.about},
        // The settings dialogs, each on the tab its menu names.
        {"mnuGeneral", [&dialogs] { dialogs.showOptions(1); }},
        {"mnuDevices", [&dialogs] { dialogs.showOptions(2); }},
        {"mnuAnswerMode", [&dialogs] { dialogs.showOptions(3); }},
        {"mnuAdvance", [&dialogs] { dialogs.showOptions(4); }},
        {"mnuEventsGeneral", [&dialogs] { dialogs.showEvents(1); }},
        {"mnuInComingCall", [&dialogs] { dialogs.showEvents(2); }},
        {"mnuIdelCall", [&dialogs] { dialogs.showEvents(3); }},
        {"mnuMail", [&dialogs] { dialogs.showActions(1); }},
        {"mnuAplication", [&dialogs] { dialogs.showActions(2); }},
        {"mnuGreetingCreator", [&dialogs] { dialogs.openGreetingCreator(); }},
        {"mnuCallerRules", [&dialogs] { dialogs.showCallerRules(); }},
    });
    // The call list's "Block this number" and "Always allow this number".
    QObject::connect(&list, &CallList::ruleRequested, &list,
                     [&dialogs](bool allow, const QString& name, const QString& number) {
                         dialogs.showCallerRules(allow, name, number);
                     });
}
