// Kalvo: starts the program.
#include "mMain.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Options that only print are answered before any window system or file is touched.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Kalvo %s\n", kProgramVersion.toUtf8().constData());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: kalvo [-st]\n"
                    "Answers the telephone line and records messages.\n"
                    "  -st        start hidden, in the notification area (as at login)\n"
                    "  --help     show this text\n"
                    "  --version  show the version\n");
        return 0;
    }
    // The raw arguments: Qt takes some options out of argv, and "-st" is compared with the whole line.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kalvo");
    return Main(arguments);
}
