// The options dialog: devices, greeting, rings, recording limits, silence, remote access, list
// behaviour and start with login. "OK" saves; the messages folder and a greeting delete act at once.
#pragma once

#include "DialogHost.h"
#include "OptionsPages.h"

#include <QDialog>

class QPushButton;
class QTabBar;

class frmOptions : public QDialog
{
    Q_OBJECT

public:
    // Loads the dialog (tab "General" shown); open it with exec().
    frmOptions(DialogHost& host, QWidget* parent = nullptr);

    // Selects a tab (1 "General" to 4 "Advanced") as the menus do before showing the dialog.
    void selectTab(int tab);
    const OptionsPages& pages() const { return m_pages; }
    int LoadedLineIndex() const { return m_loadedLineIndex; }

    // The greeting creator saved a new greeting while the dialog is open: the list shows it.
    void greetingSaved(const QString& name);

    // The start-with-login command: the program followed by " -st".
    static QString runCommand();

    void done(int result) override;

private:
    void Form_Load();
    void GetOptions();
    void TabStrip1Click();
    void cmdOKClick();
    bool remoteAccessRefused();
    void saveOptions();
    void cmdBrowsMessagesPathClick();
    void tlbrGreetingPlayerButtonClick(const QString& key);
    void deleteGreeting();
    void cmdLineSettingsClick();
    void cmdLinesClick();
    void Form_Unload();
    QString greetsPattern() const;

    DialogHost& m_host;
    QTabBar* m_tabs;
    OptionsPages m_pages;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_tabsLoading = false;
    int m_loadedLineIndex = -1;
    bool m_unloaded = false;
};
