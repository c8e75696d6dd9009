// The command set of the main window: the two bands of CoolBar1 (Toolbar1 and the quick greeting
// strip TBQuickOption), the menu bar and the tray menu mnuSystry. Every item carries its design
// name as its object name; clicks leave as signals by key or by menu name, for the form to act on.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;

class FrameCommands : public QObject
{
    Q_OBJECT

public:
    // onOff, mnuOn and mnuOff are the line monitor's own actions. webHost is the maker's web host
    // ("" hides the three web items).
    FrameCommands(QMainWindow& window, QAction* onOff, QAction* mnuOn, QAction* mnuOff,
                  const QString& webHost);

    QWidget* CoolBar1() const { return m_coolBar; }
    QToolBar* Toolbar1() const { return m_toolbar; }
    // Band 2: the strip's buttons and, placed on it by the form, the quick settings.
    QWidget* quickBand() const { return m_quickBand; }
    QToolBar* TBQuickOption() const { return m_quick; }
    QMenu* mnuSystry() const { return m_systry; }

    // The commands that act on calls (Save, Delete, Clear, Back, Next and their menu items, First,
    // Last, Play, Stop) are enabled only while the list has a call.
    void setListCommandsEnabled(bool enabled);

    // A menu item or button by its object name ("mnuExit", "Log", ...); null when there is none.
    QAction* action(const QString& name) const;

    // The maker's web host the program was built with; empty hides the web items.
    static QString builtWebHost();
    // The maker's product page, and the bug-report page for this version; empty without a web host.
    QString productPage() const;
    QString bugReportPage() const;
    // The page behind a Help menu item: "help" (the help file in the program folder), "product" or
    // "bugs"; empty without a web host.
    QString pageUrl(const QString& page, const QString& programFolder) const;
    // Opens a page in the desktop's browser; an empty one is nothing to open. @return false when
    // the desktop could not open it.
    static bool openPage(const QString& url);

signals:
    // A Toolbar1 key, from its button or from a menu item that repeats it.
    void toolbarButton(const QString& key);
    // A TBQuickOption key: "Add", "Play", "Stop".
    void quickButton(const QString& key);
    // Any other menu item, by name.
    void menuCommand(const QString& name);

private:
    void buildToolbar();
    void buildQuickStrip();
    void buildMenus(QMainWindow& window);
    QAction* menuItem(QMenu* menu, const QString& caption, const QString& name);
    QAction* repeatOfKey(QMenu* menu, const QString& caption, const QString& name, const QString& key);

    QString m_webHost;
    QAction* m_onOff;
    QAction* m_mnuOn;
    QAction* m_mnuOff;
    QWidget* m_coolBar;
    QToolBar* m_toolbar;
    QWidget* m_quickBand;
    QToolBar* m_quick;
    QMenu* m_systry;
};
