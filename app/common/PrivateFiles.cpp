// Tightening folders and files to their owner.
#include "PrivateFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace PrivateFiles {

namespace {

// The mask before ownerOnlyByDefault; -1 until then.
int g_userMask = -1;

bool restrict(const QString& path, bool folder)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return S_ISLNK(st.st_mode);
    // Folders keep their owner's search right, files their owner's execute bit; group and others
    // lose everything.
    const mode_t wanted = folder ? (st.st_mode & 07700) | S_IRWXU : st.st_mode & 07700 & ~S_ISUID & ~S_ISGID;
    if ((st.st_mode & 07777) == wanted)
        return true;
    return ::chmod(name.constData(), wanted) == 0;
}

} // namespace

bool makeFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    return restrict(folder, true);
}

bool tighten(const QString& folder, bool recursive)
{
    // A folder that is a link to somewhere else is the user's arrangement: left alone.
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return false;
    bool ok = restrict(folder, true);
    if (!recursive)
        return ok;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isSymLink())
            continue;
        ok = restrict(path, entry.isDir()) && ok;
    }
    return ok;
}

void ownerOnlyByDefault()
{
    const mode_t before = ::umask(077);
    if (g_userMask < 0)
        g_userMask = int(before);
}

unsigned userMask()
{
    if (g_userMask >= 0)
        return unsigned(g_userMask);
    const mode_t current = ::umask(077);
    ::umask(current);
    return current;
}

} // namespace PrivateFiles
