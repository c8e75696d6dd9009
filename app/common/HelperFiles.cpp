// Where the program finds its private files: beside it, or in lib/kalvo when installed.
#include "HelperFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace HelperFiles {

QString folderOf(const QString& name)
{
    const QString own = QCoreApplication::applicationDirPath();
    const QStringList folders{own, QDir::cleanPath(own + "/" KALVO_PKGLIB_FROM_BIN)};
    for (const QString& folder : folders)
        if (QFileInfo::exists(folder + "/" + name))
            return folder;
    return {};
}

QString pathOf(const QString& name)
{
    const QString folder = folderOf(name);
    return folder.isEmpty() ? QString() : folder + "/" + name;
}

QString programPath(const QString& name)
{
    const QString found = pathOf(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name) : found;
}

} // namespace HelperFiles
