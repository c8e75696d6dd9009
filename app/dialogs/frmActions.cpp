// The actions dialog.
#include "frmActions.h"

#include "CurrentCall.h"
#include "EngineRules.h"
#include "ErrorTrap.h"
#include "LocaleText.h"
#include "MessageBox.h"
#include "Settings.h"
#include "SettingsLoader.h"
#include "SettingsWriter.h"
#include "VbError.h"
#include "mdlLog.h"

#include "DialogFrame.h"
#include "DialogLists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTime>
#include <QVBoxLayout>

namespace {
const QStringList kConditions = {"Act with all calls", "Act with messages only!"};

template <typename W> W* named(W* widget, const char* name, const QString& accessible)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    return widget;
}
} // namespace

frmActions::frmActions(DialogHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_tabs(new QTabBar(this)), m_ok(new QPushButton("OK", this)),
      m_cancel(new QPushButton("Cancel", this))
{
    setObjectName("frmActions");
    setWindowTitle("Actions");
    for (int i = 0; i < 2; ++i) {
        m_frames[i] = new QFrame(this);
        m_frames[i]->setObjectName(QString("Frame%1").arg(i + 1));
    }
    buildMail(m_frames[0]);
    buildApplication(m_frames[1]);
    DialogFrame::layOut(*this, m_tabs, "Action pages", {m_frames[0], m_frames[1]}, m_ok, m_cancel,
                        QSize(470, 280));

    connect(m_tabs, &QTabBar::currentChanged, this, [this] { TabStrip1Click(); });
    connect(m_chkSendToMail, &QCheckBox::clicked, this, [this] { setMailEnabled(); });
    connect(m_chkApp, &QCheckBox::clicked, this, [this] { setAppEnabled(); });
    connect(m_cmdParm, &QPushButton::clicked, this, [this] { cmdParmClick(); });
    connect(m_frmTest, &QPushButton::clicked, this, [this] { frmTestClick(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { cmdOKClick(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    Form_Load();
}

void frmActions::buildMail(QFrame* f)
{
    auto* grid = new QGridLayout(f);
    m_chkSendToMail =
        named(new QCheckBox("Send Calls To E- Mail", f), "chkSendToMail", "Send Calls To E-Mail");
    grid->addWidget(m_chkSendToMail, 0, 0, 1, 2);
    m_txtSendToMail = named(new QLineEdit(f), "txtSendToMail", "E-Mail To");
    m_txtSMTP = named(new QLineEdit(f), "txtSMTP", "SMTP server");
    m_txtFromMail = named(new QLineEdit(f), "txtFromMail", "From (reply to)");
    const char* captions[] = {"E-Mail To:", "SMTP :", "From(Replay To):"};
    QLineEdit* fields[] = {m_txtSendToMail, m_txtSMTP, m_txtFromMail};
    for (int i = 0; i < 3; ++i) {
        m_mailLabels[i] = new QLabel(captions[i], f);
        m_mailLabels[i]->setBuddy(fields[i]);
        grid->addWidget(m_mailLabels[i], i + 1, 0);
        grid->addWidget(fields[i], i + 1, 1);
    }
    m_cmbActMail = named(new QComboBox(f), "cmbActMail", "When to send the mail");
    m_cmbActMail->addItems(kConditions);
    grid->addWidget(m_cmbActMail, 4, 1);
    grid->setRowStretch(5, 1);
}

void frmActions::buildApplication(QFrame* f)
{
    auto* grid = new QGridLayout(f);
    m_chkApp = named(new QCheckBox("Send Calls To Application", f), "chkApp", "Send Calls To Application");
    grid->addWidget(m_chkApp, 0, 0, 1, 3);
    m_appLabel = new QLabel("Application Path:", f);
    m_txtAppTo = named(new QLineEdit(f), "txtAppTo", "Application command line");
    m_txtAppTo->setToolTip("The program and its arguments; <NAME>, <NUMBER>, <DATE>, <TIME> and "
                           "<MESSAGE_PATH> are replaced with the call's details");
    m_appLabel->setBuddy(m_txtAppTo);
    grid->addWidget(m_appLabel, 1, 0);
    grid->addWidget(m_txtAppTo, 1, 1);
    m_cmdParm = named(new QPushButton("Parm", f), "cmdParm", "Parameters");
    m_cmdParm->setToolTip("The parameters of the command line");
    grid->addWidget(m_cmdParm, 1, 2);
    m_chkBGAPP = named(new QCheckBox("Background", f), "chkBGAPP", "Background");
    grid->addWidget(m_chkBGAPP, 2, 1);
    m_cmbActApp = named(new QComboBox(f), "cmbActApp", "When to start the application");
    m_cmbActApp->addItems(kConditions);
    grid->addWidget(m_cmbActApp, 3, 1);
    m_frmTest = named(new QPushButton("Test", f), "frmTest", "Test the application");
    m_frmTest->setToolTip("Start the command line once with test data");
    grid->addWidget(m_frmTest, 3, 2);
    grid->setRowStretch(4, 1);
}

void frmActions::Form_Load()
{
    ErrorTrap trap("ErrLoadActions->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    for (QFrame* frame : m_frames)
        frame->hide();
    m_tabsLoading = true;
    m_tabs->addTab("Mail");
    m_tabs->addTab("Application");
    m_tabs->setCurrentIndex(0);
    m_frames[0]->show();
    m_tabsLoading = false;
    TabStrip1Click();
    trap.step([&] { GetOptions(); });
    setMailEnabled();
    setAppEnabled();
}

void frmActions::GetOptions()
{
    const MainActions& a = m_host.settings.actions;
    m_chkSendToMail->setChecked(a.pMailTo != 0);
    DialogLists::showStored(*m_txtSendToMail, a.MailTo, "name@example.org");
    DialogLists::showStored(*m_txtSMTP, a.SMTPServer, "mail server, e.g. smtp.example.org:587");
    DialogLists::showStored(*m_txtFromMail, a.MailFrom, "name@example.org");
    m_cmbActMail->setCurrentIndex(a.ActionsMailAllCalls != 0 ? 1 : 0);
    m_chkApp->setChecked(a.pAppTo != 0);
    DialogLists::showStored(*m_txtAppTo, a.AppTo, "program and arguments, e.g. notify-send <NAME> <NUMBER>");
    m_chkBGAPP->setChecked(a.pAppToBG != 0);
    m_cmbActApp->setCurrentIndex(a.ActionsAppAllCalls != 0 ? 1 : 0);
}

void frmActions::selectTab(int tab)
{
    if (tab >= 1 && tab <= m_tabs->count())
        m_tabs->setCurrentIndex(tab - 1);
}

void frmActions::TabStrip1Click()
{
    if (m_tabsLoading)
        return;
    const int index = m_tabs->currentIndex();
    for (int i = 0; i < 2; ++i)
        m_frames[i]->setVisible(i == index);
}

void frmActions::setMailEnabled()
{
    const bool on = m_chkSendToMail->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_cmbActMail), static_cast<QWidget*>(m_txtSendToMail),
                       static_cast<QWidget*>(m_txtSMTP), static_cast<QWidget*>(m_txtFromMail)})
        w->setEnabled(on);
    for (QLabel* label : m_mailLabels)
        label->setEnabled(on);
}

void frmActions::setAppEnabled()
{
    const bool on = m_chkApp->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_cmbActApp), static_cast<QWidget*>(m_txtAppTo),
                       static_cast<QWidget*>(m_chkBGAPP), static_cast<QWidget*>(m_frmTest),
                       static_cast<QWidget*>(m_appLabel), static_cast<QWidget*>(m_cmdParm)})
        w->setEnabled(on);
}

void frmActions::cmdParmClick()
{
    const QString text = QStringList{"Parameters:",
                                     "Caller Name=<NAME>",
                                     "Caller Number=<NUMBER>",
                                     "Date=<DATE>",
                                     "Time=<TIME>",
                                     "Message Path=<MESSAGE_PATH>",
                                     "",
                                     "For more information look at the help"}
                             .join("\r\n");
    MessageBox::show(text, MessageBox::OkOnly, "Kalvo", this);
}

void frmActions::frmTestClick()
{
    ErrorTrap trap("errTesSendApp->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    QString error;
    const bool started = trap.step([&] {
        CurrentCall call;
        call.CallerName = "Name Test";
        call.CallerNumber = "Number Test";
        call.CallDate = LocaleText::shortDate(QDate::currentDate());
        call.CallTime = LocaleText::timeWithSeconds(QTime::currentTime());
        const QString messages = SettingsLoader::StoredMessagesPath();
        // <MESSAGE_PATH> stands for the whole path; the file need not exist.
        call.MessageFile = messages + "Test.wav";
        const QStringList argv =
            EngineRules::ReplacePlaceholders(EngineRules::splitCommandLine(m_txtAppTo->text()), call);
        int number = 0;
        if (!EngineRules::startDetached(argv, &number, &error))
            throw kalvo::VbError(number, error.toStdString());
    });
    // The user just asked for it: a program that does not start is said here, not only in the log.
    if (!started)
        MessageBox::show("The program could not be started" + (error.isEmpty() ? QString() : ": " + error) +
                             ".",
                         MessageBox::Exclamation, "Kalvo", this);
}

void frmActions::cmdOKClick()
{
    if (checksFail())
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    saveActions();
    QGuiApplication::restoreOverrideCursor();
    accept();
}

bool frmActions::checksFail()
{
    struct Check
    {
        bool fails;
        const char* message;
        int tab;
        QLineEdit* field;
    };
    const bool mail = m_chkSendToMail->isChecked();
    const bool app = m_chkApp->isChecked();
    const Check checks[] = {
        {mail && !EngineRules::IsValidEmail(m_txtSendToMail->text()), "'E-Mail To' Is Invalid", 1,
         m_txtSendToMail},
        {mail && !EngineRules::IsValidHostName(m_txtSMTP->text()), "'SMTP' Is Invalid", 1, m_txtSMTP},
        {mail && !EngineRules::IsValidEmail(m_txtFromMail->text()), "'From(Replay To)' Is Invalid", 1,
         m_txtFromMail},
        {app && m_txtAppTo->text().isEmpty(), "'Application Path' Field Is Empty", 2, m_txtAppTo},
        {app && !EngineRules::ProgramExists(m_txtAppTo->text()),
         "'Application Path': the program cannot be found (give its full path, or a "
         "program on PATH)",
         2, m_txtAppTo}};
    for (const Check& check : checks) {
        if (!check.fails)
            continue;
        MessageBox::show(check.message, MessageBox::Information, "Kalvo", this);
        selectTab(check.tab);
        check.field->setFocus();
        return true;
    }
    return false;
}

void frmActions::saveActions()
{
    ErrorTrap trap("ErrActionPutReg->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] {
        ActionsInput in;
        in.pMailTo = m_chkSendToMail->isChecked();
        const MainActions& stored = m_host.settings.actions;
        in.MailTo = DialogLists::storedText(*m_txtSendToMail, stored.MailTo);
        in.SMTPServer = DialogLists::storedText(*m_txtSMTP, stored.SMTPServer);
        in.MailFrom = DialogLists::storedText(*m_txtFromMail, stored.MailFrom);
        in.mailMessagesOnly = m_cmbActMail->currentIndex() == 1;
        in.pAppTo = m_chkApp->isChecked();
        in.AppTo = DialogLists::storedText(*m_txtAppTo, stored.AppTo);
        in.pAppToBG = m_chkBGAPP->isChecked();
        in.appMessagesOnly = m_cmbActApp->currentIndex() == 1;
        SettingsWriter(m_host.settings).PutMainActions(in);
    });
}
