// The program's entry procedure.
#include "mMain.h"

#include "AnsweringEngine.h"
#include "CallAnnouncer.h"
#include "ExitSignals.h"
#include "HelperFiles.h"
#include "InstanceChannel.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "QuickSettings.h"
#include "RegistryStore.h"
#include "SingleInstance.h"
#include "TapiControl.h"
#include "WebAccess.h"
#include "WebStart.h"
#include "frmMain.h"
#include "mdlReg.h"
#include "mdlWinVersion.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {
// What a first start stores besides the designed first-run values: every number and switch the
// loaders read, so that the first caller is greeted, recorded and logged without the user touching
// a setting and no loader finds a value missing. Where the dialogs offer only some values (the
// close delay, the animation speed) the first of them is stored.
struct StartValue
{
    const char* name;
    const char* value;
};
// clang-format off
const StartValue kWorkingDefaults[] = {
    {"SecSilence", "15"},         {"cDropSilence", "1"},      {"ValSilence", "20"},       {"RecordMessage", "1"},
    {"NumOfRing", "4"},           {"MaxRec", "2"},            {"WornDelete", "1"},        {"WornClear", "1"},
    {"ListMessageOnly", "0"},     {"Modem", "-1"},            {"Sound", "0"},             {"AllowRemoteAccess", "0"},
    {"CompressMessages", "0"},    {"pQuickToolbar", "1"},     {"PreScreen", "0"},         {"pMailTo", "0"},
    {"ActionsMailAllCalls", "0"}, {"pAppTo", "0"},            {"pAppToBG", "0"},          {"ActionsAppAllCalls", "0"},
    {"cPlayInRing", "0"},         {"cOnlyIfGotMessage", "0"}, {"cPlayInIdle", "0"},       {"WhenMsgViewMsg", "0"},
    {"ViewDetails", "0"},         {"cAnimation", "0"},        {"AnimationFast", "10"},    {"cCloseCallerView", "0"},
    {"CloseCallerView", "5"},     {"cLogSys", "1"},           {"cLogCalls", "1"},         {"cWornBeforeDelete", "1"},
    {"LogFor", "3 Last Month"}};
// clang-format on

void storeIfAbsent(const QString& name, const QString& value)
{
    using namespace mdlReg;
    if (GetRegString(HKeyLocalMachine, kSettingsKey, name) == kNotFound)
        SetRegValue(HKeyLocalMachine, kSettingsKey, name, 1, value);
}

// The window's first placement: its design size (9600 x 7200 twips), centred on the screen.
void storeFirstPlacement()
{
    constexpr int kTwips = 15, kWidth = 9600, kHeight = 7200;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    storeIfAbsent("MeTop",
                  QString::number(std::max(0, area.y() * kTwips + (area.height() * kTwips - kHeight) / 2)));
    storeIfAbsent("MeLeft",
                  QString::number(std::max(0, area.x() * kTwips + (area.width() * kTwips - kWidth) / 2)));
    storeIfAbsent("MeWinState", "0");
    storeIfAbsent("MeWidth", QString::number(kWidth));
    storeIfAbsent("MeHeight", QString::number(kHeight));
}

// The seeded greeting, else the first greeting there is.
QString defaultGreetingName(const QString& programFolder)
{
    const QStringList names = QuickSettings::GreetFilFile(programFolder + "/Greets/");
    if (names.contains("Default"))
        return "Default";
    return names.isEmpty() ? QString() : names.first();
}

// A settings file that did not parse was moved aside by the registry; the user hears of it once.
void tellAboutUnreadableSettings()
{
    for (const std::string& moved : kalvo::registry::takeMovedAsideFiles())
        MessageBox::show("Kalvo could not read its settings file and moved it aside as\n" +
                             QString::fromStdString(moved) +
                             "\nKalvo starts with the settings of a first start.",
                         MessageBox::Exclamation);
}
} // namespace

bool WriteFirstRunDefaults(const QString& programFolder, const QString& executablePath)
{
    using namespace mdlReg;
    QString first = GetRegString(HKeyLocalMachine, kSettingsKey, "First");
    if (first != "1" && first != kNotFound)
        return false;
    SetRegValue(HKeyLocalMachine, kSettingsKey, "First", 1, 0);
    SetRegValue(HKeyLocalMachine, kSettingsKey, "MassagesPath", 1, programFolder + "/Messages/");
    if (WindowsVersionName() == "Windows XP")
        SetRegValue(HKeyLocalMachine, kSettingsKey, "cAnimation", 1, 1);
    SetRegValue(HKeyLocalMachine, kRunKey, "Kalvo", 1, executablePath + " -st");
    for (const StartValue& v : kWorkingDefaults)
        storeIfAbsent(v.name, v.value);
    storeFirstPlacement();
    storeIfAbsent("CallerViewAs",
                  QString::number(CallAnnouncer::firstChoice(CallAnnouncer::windowCanPlaceItself())));
    const QString greeting = defaultGreetingName(programFolder);
    if (!greeting.isEmpty())
        storeIfAbsent("Greeting", greeting);
    return true;
}

bool RefreshStartWithLogin(const QString& executablePath)
{
    using namespace mdlReg;
    const QString current = GetRegString(HKeyLocalMachine, kRunKey, "Kalvo");
    const QString wanted = executablePath + " -st";
    if (current == kNotFound || current == wanted)
        return false;
    const QString recorded = current.endsWith(" -st") ? current.chopped(4) : current;
    const bool installed = ProgramFolder::seedSource() != QStringLiteral(KALVO_SOURCE_DATA_DIR);
    if (!installed && QFileInfo::exists(recorded))
        return false;
    SetRegValue(HKeyLocalMachine, kRunKey, "Kalvo", 1, wanted);
    return true;
}

void RegisterSpeechHelper()
{
    using namespace mdlReg;
    // A registration naming a helper that is gone (a removed install or build tree) is renewed.
    const QString registered = GetRegString(HKeyClassesRoot, "SAPI.SpVoice", "");
    if (registered != kNotFound && QFileInfo::exists(registered))
        return;
    const QString helper = HelperFiles::pathOf("Sayer");
    if (!QFileInfo(helper).isExecutable())
        return;
    // Quick (it only starts the synthesiser once), and the answer is wanted before any greeting
    // dialog asks whether speech is available.
    QProcess process;
    process.start(helper, {"--register"});
    if (!process.waitForFinished(10000))
        process.kill();
}

bool IsFormLoaded(const QString& formName)
{
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == formName)
            return true;
    return false;
}

std::unique_ptr<frmMain> StartProgram(const QStringList& arguments, const SingleInstance& instance)
{
    QCoreApplication::setApplicationVersion(kProgramVersion);
    if (!instance.isFirst()) {
        // The running instance shows its window, so the user finds what they were looking for.
        InstanceChannel::askToShow();
        MessageBox::show("Kalvo is still running", MessageBox::OkOnly);
        return nullptr;
    }

    const QString folder = ProgramFolder::path();
    ProgramFolder::ensure(folder, ProgramFolder::seedSource());
    if (!WriteFirstRunDefaults(folder, QCoreApplication::applicationFilePath()))
        RefreshStartWithLogin(QCoreApplication::applicationFilePath());
    tellAboutUnreadableSettings();
    kalvo::TapiControl::ensureRegistered(); // the line control installed with the program
    RegisterSpeechHelper();

    auto form = std::make_unique<frmMain>(folder);
    if (arguments.size() == 1 && arguments.first() == "-st")
        form->startInTray();
    else
        form->show();
    return form;
}

void ConnectInstanceChannel(InstanceChannel& channel, frmMain& form)
{
    QObject::connect(&channel, &InstanceChannel::showRequested, &form, &frmMain::restoreWindow);
    frmMain* window = &form;
    channel.setCommands({
        {"pick-up", [window] { return window->engine().pickUp(); }},
        {"hang-up", [window] { return window->engine().hangUp(); }},
    });
}

int SendToRunningInstance(const QString& option)
{
    const QByteArray command = option.mid(2).toUtf8();
    QString reply;
    if (!InstanceChannel::sendCommand(command, reply)) {
        std::fprintf(stderr, "kalvo: Kalvo is not running, so there is no call to %s\n",
                     command == "pick-up" ? "pick up" : "hang up");
        return 1;
    }
    if (reply.isEmpty())
        return 0;
    std::fprintf(stderr, "kalvo: %s\n", reply.toLocal8Bit().constData());
    return 1;
}

int Main(const QStringList& arguments)
{
    SingleInstance instance;
    std::unique_ptr<frmMain> form = StartProgram(arguments, instance);
    if (!form)
        return 0;
    InstanceChannel channel;
    ConnectInstanceChannel(channel, *form);
    const std::unique_ptr<WebAccess> web = WebStart::start(*form);
    ExitSignals exitSignals;
    // A signal or the end of the session leaves nobody to answer a question: Exit asks none.
    frmMain* window = form.get();
    QObject::connect(&exitSignals, &ExitSignals::exitRequested, window, [window] { window->Exit(false); });
    // The session manager ending the session quits the application: the Exit path runs first.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, window, [window] { window->Exit(false); });
    // Closing the window only hides it; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
