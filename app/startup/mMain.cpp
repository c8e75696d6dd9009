// The program's entry procedure.
#include "mMain.h"

#include "MessageBox.h"
#include "ProgramFolder.h"
#include "SingleInstance.h"
#include "TapiControl.h"
#include "frmMain.h"
#include "mdlReg.h"
#include "mdlWinVersion.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <memory>

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
    return true;
}

void RegisterSpeechHelper()
{
    using namespace mdlReg;
    if (GetRegString(HKeyClassesRoot, "SAPI.SpVoice", "") != kNotFound)
        return;
    const QString helper = QCoreApplication::applicationDirPath() + "/Sayer";
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
        MessageBox::show("Kalvo is still running", MessageBox::OkOnly);
        return nullptr;
    }

    const QString folder = ProgramFolder::path();
    ProgramFolder::ensure(folder, ProgramFolder::seedSource());
    WriteFirstRunDefaults(folder, QCoreApplication::applicationFilePath());
    kalvo::TapiControl::ensureRegistered(); // the line control installed beside the program
    RegisterSpeechHelper();

    auto form = std::make_unique<frmMain>(folder);
    if (!(arguments.size() == 1 && arguments.first() == "-st"))
        form->show();
    return form;
}

int Main(const QStringList& arguments)
{
    SingleInstance instance;
    std::unique_ptr<frmMain> form = StartProgram(arguments, instance);
    if (!form)
        return 0;
    // A hidden start has no window to close, so only an Exit command ends the program.
    QApplication::setQuitOnLastWindowClosed(form->isVisible());
    return QApplication::exec();
}
