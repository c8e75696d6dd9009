// Opening the main window's dialogs.
#include "DialogLauncher.h"

#include "AnsweringEngine.h"
#include "MessageBox.h"
#include "MessagePlayer.h"
#include "ScreenFit.h"
#include "ScreeningPage.h"
#include "SettingsLoader.h"
#include "frmActions.h"
#include "frmEvents.h"
#include "frmGreetC.h"
#include "frmHelp.h"
#include "frmLog.h"
#include "frmOptions.h"
#include "frmRules.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

DialogLauncher::DialogLauncher(DialogHost host, AnsweringEngine& engine, MessagePlayer& player,
                               const TimeBase& timeBase, std::function<void(const QString&)> greetingSaved,
                               QWidget& owner)
    : m_host(std::move(host)), m_engine(engine), m_player(player), m_timeBase(timeBase),
      m_greetingSaved(std::move(greetingSaved)), m_owner(owner)
{
    m_host.playWave = [this](const QString& path) { return m_player.PlayWave(path, false); };
    m_host.getAppOptions = [this] { GetAppOptions(); };
    m_host.lineIsOpen = [this] { return m_engine.lineIsOpen(); };
    // The engine answers on the line it opens last.
    m_host.openLine = [this](int line) { m_engine.openLine(line); };
    m_host.closeLine = [this](int line) { m_engine.closeLine(line); };
    m_host.greetingCreator = [this](QWidget* over) { return openGreetingCreator(over); };
    // Every dialog (and the main window) opens inside the screen it is on.
    ScreenFit::install();
}

void DialogLauncher::showOptions(int tab)
{
    frmOptions dialog(m_host, &m_owner);
    dialog.selectTab(tab);
    dialog.exec();
}

void DialogLauncher::showEvents(int tab)
{
    frmEvents dialog(m_host, &m_owner);
    dialog.selectTab(tab);
    dialog.exec();
}

void DialogLauncher::showActions(int tab)
{
    frmActions dialog(m_host, &m_owner);
    dialog.selectTab(tab);
    dialog.exec();
}

void DialogLauncher::openLog()
{
    frmLog viewer(
        m_host.log, [this](const QString& path) { m_player.SaveFile(path); }, &m_owner);
    viewer.exec();
}

bool DialogLauncher::confirmExit()
{
    if (!m_engine.state().InCall)
        return true;
    return MessageBox::show("A call is in progress. Exit Kalvo and end the call ?",
                            MessageBox::YesNo | MessageBox::Question, "Kalvo", &m_owner) == MessageBox::Yes;
}

void DialogLauncher::showHelp(const QString& file)
{
    if (frmHelp::desktopHasBrowser() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    auto* help = m_owner.findChild<frmHelp*>("frmHelp", Qt::FindDirectChildrenOnly);
    if (!help)
        help = new frmHelp(file, &m_owner);
    help->show();
    help->raise();
    help->activateWindow();
}

void DialogLauncher::showCallerRules()
{
    frmRules dialog(m_host.programFolder + "/Calls", m_host.programFolder + "/Greets", &m_owner);
    addScreeningPage(dialog);
    dialog.exec();
}

void DialogLauncher::showCallerRules(bool allow, const QString& callerName, const QString& callerNumber)
{
    frmRules dialog(m_host.programFolder + "/Calls", m_host.programFolder + "/Greets", &m_owner);
    addScreeningPage(dialog);
    dialog.prefill(allow, callerName, callerNumber);
    dialog.exec();
}

void DialogLauncher::addScreeningPage(frmRules& dialog)
{
    dialog.addPage(new ScreeningPage(
                       m_host,
                       [&dialog](bool allow, const QString& name, const QString& number) {
                           return dialog.addCallerRule(allow, name, number);
                       },
                       &dialog),
                   "Screening");
}

QString DialogLauncher::openGreetingCreator(QWidget* owner)
{
    QString saved;
    frmGreetC creator(
        m_host.wavePlay, m_host.log, m_host.flags, m_host.programFolder, m_timeBase,
        [this, &saved](const QString& name) {
            saved = name;
            m_greetingSaved(name);
        },
        owner ? owner : &m_owner);
    creator.exec();
    return saved;
}

void DialogLauncher::closeOnExit(bool askUser)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* creator = qobject_cast<frmGreetC*>(window))
            creator->finishOnExit(askUser);
        else if (window->objectName() == QLatin1String("frmLog"))
            window->close();
    }
}

void DialogLauncher::GetAppOptions()
{
    Settings& settings = m_host.settings;
    SettingsLoader(m_host.log, m_host.programFolder).GetAppOptions(settings.options, settings.engine);
    settings.options.MassagesPath = settings.engine.MessagesPath;
    m_engine.followStoredLine();
}
