// Tightening folders and files to their owner.
#include "PrivateFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

bool writeWhole(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray temp = QFile::encodeName(path + ".tmp");
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600); // a temporary file left from before may have had other rights
    bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    if (!ok || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

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
