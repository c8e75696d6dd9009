// Kalvo: starts the program.
#include "ProgramFolder.h"
#include "RulesCommandLine.h"
#include "SoundCardBackend.h"
#include "WebStart.h"
#include "mMain.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
// Until the window system is open, a fatal message from Qt (no display, no platform plugin) ends
// the program with one line instead of an abort and a core file.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fprintf(stderr, "kalvo: cannot open the display: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
    ::_exit(1);
}
} // namespace

int main(int argc, char** argv)
{
    // Options that only print are answered before any window system or file is touched.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Kalvo %s\n", kProgramVersion.toUtf8().constData());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: kalvo [-st]\n"
                    "       kalvo --pick-up | --hang-up\n"
                    "       kalvo --rules-list | --rules-import FILE | --rules-export FILE\n"
                    "       kalvo --set-web-password\n"
                    "Answers the telephone line and records messages.\n"
                    "  -st        start hidden, in the notification area (as at login)\n"
                    "  --pick-up  take the current call on the microphone and speakers\n"
                    "  --hang-up  end that conversation\n"
                    "  --rules-list         print the caller rules (block and allow lists)\n"
                    "  --rules-import FILE  add the rules of a CSV file (number,name,kind,note)\n"
                    "  --rules-export FILE  write the caller rules to a CSV file\n"
                    "  --set-web-password   read the web page's password from standard input\n"
                    "  --help     show this text\n"
                    "  --version  show the version\n"
                    "Exit from the File menu or the tray menu, or send SIGTERM; closing the window\n"
                    "only hides it.\n");
        return 0;
    }
    // The caller-rule switches work on the database file alone: no window system, no instance
    // check, no line, so they run the same beside a running Kalvo.
    if (argc >= 2 && std::strncmp(argv[1], "--rules-", 8) == 0) {
        QStringList rulesArguments;
        for (int i = 1; i < argc; ++i)
            rulesArguments << QString::fromLocal8Bit(argv[i]);
        return RulesCommandLine::run(rulesArguments, ProgramFolder::path() + "/Calls", stdout, stderr);
    }
    if (argc == 2 && std::strcmp(argv[1], "--set-web-password") == 0)
        return WebStart::setPassword(ProgramFolder::path(), stdin, stdout, stderr);
    // A desktop shortcut's command goes to the running Kalvo; there is nothing to show here.
    if (argc == 2 && (std::strcmp(argv[1], "--pick-up") == 0 || std::strcmp(argv[1], "--hang-up") == 0)) {
        QCoreApplication app(argc, argv);
        return SendToRunningInstance(QString::fromLatin1(argv[1]));
    }
    // The streams of a conversation ask for the sound server's echo canceller; this must precede
    // the first use of the sound card.
    kalvo::wave::SoundCardBackend::requestEchoCancellation();
    // The raw arguments: Qt takes some options out of argv, and "-st" is compared with the whole line.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName("Kalvo");
    return Main(arguments);
}
