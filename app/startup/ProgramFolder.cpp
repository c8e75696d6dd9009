// The program folder and its seeding.
#include "ProgramFolder.h"

#include "PrivateFiles.h"
#include "ProgramHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace ProgramFolder {

namespace {
const char* const kFolders[] = {"Greets", "Sound", "Log", "Calls", "Help", "Messages"};
// What holds callers' data or the owner's settings of calls: tightened file by file at each start.
const char* const kPrivateTrees[] = {"Log", "Calls", "Messages", ".recording"};

bool sameContent(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (fa.size() != fb.size())
        return false;
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return true; // unreadable: left as it is
    return fa.readAll() == fb.readAll();
}
} // namespace

QString path()
{
    return kalvo::programHome();
}

QString seedSource()
{
    QString installed = QCoreApplication::applicationDirPath() + "/../share/kalvo";
    if (QFile::exists(installed + "/beep.wav"))
        return QDir::cleanPath(installed);
    return QStringLiteral(KALVO_SOURCE_DATA_DIR);
}

bool ensure(const QString& folder, const QString& seed)
{
    QDir dir;
    if (!PrivateFiles::makeFolder(folder))
        return false;
    for (const char* name : kFolders)
        PrivateFiles::makeFolder(folder + "/" + name);
    // Folders and files made by earlier versions (or by hand) lose their group and other rights.
    for (const char* name : kPrivateTrees)
        PrivateFiles::tighten(folder + "/" + name, true);

    QDir source(seed);
    QDirIterator it(seed, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString from = it.next();
        QString relative = source.relativeFilePath(from);
        if (relative == "CMakeLists.txt" || relative.startsWith("desktop/"))
            continue; // build and desktop-integration files, not the user's
        QString to = folder + "/" + relative;
        if (QFile::exists(to)) {
            // The help pages are the program's, not the user's: they follow the installed version.
            if (!relative.startsWith("Help/") || sameContent(from, to) || !QFile::remove(to))
                continue;
        }
        dir.mkpath(QFileInfo(to).absolutePath());
        if (QFile::copy(from, to))
            QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

} // namespace ProgramFolder
