// The events dialog: sounds played when a call comes in and when it ends, and how the caller view
// shows itself. "OK" saves; the close delay is saved as soon as it is picked.
#pragma once

#include "DialogHost.h"
#include "EventsPages.h"

#include <QDialog>

class QComboBox;
class QPushButton;
class QTabBar;

class frmEvents : public QDialog
{
    Q_OBJECT

public:
    // Loads the dialog (tab "General" shown); open it with exec().
    frmEvents(DialogHost& host, QWidget* parent = nullptr);

    // Selects a tab (1 "General" to 3 "Disconnect Call") as the menus do before showing the dialog.
    void selectTab(int tab);
    const EventsPages& pages() const { return m_pages; }

    void done(int result) override;

private:
    void Form_Load();
    void GetOptions();
    void TabStrip1Click();
    void cmbCloseCVAfterClick();
    void cmdOKClick();
    void cmdTestViewerClick();
    // ring: the incoming-call toolbar, else the end-of-call one.
    void soundToolbarClick(bool ring, const QString& key);
    void Form_Unload();
    QString soundFolder() const;
    QString soundPattern() const;

    DialogHost& m_host;
    QTabBar* m_tabs;
    EventsPages m_pages;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_tabsLoading = false;
    bool m_unloaded = false;
};
