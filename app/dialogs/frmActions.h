// The actions dialog: mail about a call and the program started after a call, each for every call
// or only for calls with a message. "OK" checks the addresses first and saves only when they pass.
#pragma once

#include "DialogHost.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

class frmActions : public QDialog
{
    Q_OBJECT

public:
    // Loads the dialog (tab "Mail" shown); open it with exec().
    frmActions(DialogHost& host, QWidget* parent = nullptr);

    // Selects a tab (1 "Mail", 2 "Application") as the menus do before showing the dialog.
    void selectTab(int tab);

private:
    void buildMail(QFrame* frame);
    void buildApplication(QFrame* frame);
    void Form_Load();
    void GetOptions();
    void TabStrip1Click();
    void setMailEnabled();
    void setAppEnabled();
    void cmdParmClick();
    void frmTestClick();
    void cmdOKClick();
    // The first failing check: its message shown, its tab selected and its field focused.
    bool checksFail();
    void saveActions();

    DialogHost& m_host;
    QTabBar* m_tabs;
    QFrame* m_frames[2];
    QCheckBox* m_chkSendToMail;
    QLineEdit* m_txtSendToMail;
    QLineEdit* m_txtSMTP;
    QLineEdit* m_txtFromMail;
    QComboBox* m_cmbActMail;
    QLabel* m_mailLabels[3];
    QCheckBox* m_chkApp;
    QLineEdit* m_txtAppTo;
    QCheckBox* m_chkBGAPP;
    QComboBox* m_cmbActApp;
    QPushButton* m_cmdParm;
    QPushButton* m_frmTest;
    QLabel* m_appLabel;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_tabsLoading = false;
};
