// Moving message files between messages folders.
#include "MessageFolderMove.h"

#include "CallDatabase.h"
#include "ErrorTrap.h"
#include "VbError.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {
[[noreturn]] void raiseErrno(int error)
{
    switch (error) {
    case ENOENT:
        throw kalvo::VbError(kalvo::VbFileNotFound);
    case EEXIST:
        throw kalvo::VbError(kalvo::VbFileAlreadyExists);
    case EACCES:
    case EPERM:
    case EROFS:
        throw kalvo::VbError(kalvo::VbPermissionDenied);
    case ENOSPC:
        throw kalvo::VbError(kalvo::VbDiskFull);
    default:
        throw kalvo::VbError(kalvo::VbPathFileAccessError);
    }
}

// A descriptor closed on every way out.
struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseErrno(errno);
        }
        data += n;
        size -= n;
    }
}

// Copies the open file in into out, flushed to disk.
void copyData(int in, int out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            raiseErrno(errno);
        if (n == 0)
            break;
        writeAll(out, buffer, n);
    }
    if (::fsync(out) != 0)
        raiseErrno(errno);
}

// Whether an error means the file system has no hard links or no such rename (FAT, exFAT).
bool unsupported(int error)
{
    return error == EPERM || error == EMLINK || error == ENOTSUP || error == EINVAL || error == ENOSYS;
}

// Renames without ever replacing a file that appeared meanwhile. @return false where the file
// system cannot rename that way.
bool renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!unsupported(errno))
        raiseErrno(errno);
    return false;
}

// Copies from into to (which must not exist), owner-only and flushed to disk before the old file
// goes. A partial copy is completed under a ".part" name where the file system can then move it
// without replacing anything; elsewhere the new file is created exclusively under its own name.
void copyAcross(const QByteArray& from, const QByteArray& to)
{
    Fd in{::open(from.constData(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        raiseErrno(errno);
    const QByteArray part = to + ".part";
    Fd out{::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
    if (out.fd < 0)
        raiseErrno(errno);
    try {
        copyData(in.fd, out.fd);
        // link() refuses to replace a file that appeared meanwhile, where rename() would not.
        if (::link(part.constData(), to.constData()) == 0) {
            ::unlink(part.constData());
            return;
        }
        if (!unsupported(errno))
            raiseErrno(errno);
        if (renameNoReplace(part, to))
            return;
    } catch (...) {
        ::unlink(part.constData());
        throw;
    }
    ::unlink(part.constData());
    Fd direct{::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
    if (direct.fd < 0)
        raiseErrno(errno);
    try {
        if (::lseek(in.fd, 0, SEEK_SET) != 0)
            raiseErrno(errno);
        copyData(in.fd, direct.fd);
    } catch (...) {
        ::unlink(to.constData());
        throw;
    }
}
} // namespace

void MessageFolderMove::moveFile(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::access(source.constData(), F_OK) != 0)
        raiseErrno(errno);
    // A message already in the new folder belongs to another call or an earlier move: keep both.
    if (::access(target.constData(), F_OK) == 0)
        throw kalvo::VbError(kalvo::VbFileAlreadyExists);
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return;
    }
    if (errno != EXDEV && !unsupported(errno))
        raiseErrno(errno);
    // On one file system without hard links, a rename that never replaces does the move.
    if (errno != EXDEV && renameNoReplace(source, target))
        return;
    copyAcross(source, target);
    if (::unlink(source.constData()) != 0)
        raiseErrno(errno);
}

MessageFolderMove::Result MessageFolderMove::move(kalvo::CallDatabase& database, const QString& oldFolder,
                                                  const QString& newFolder, const LogLine& log)
{
    const ErrorTrap trap("ErrcmdBrowsMessagesPath ", log);
    Result result;
    QStringList moved;
    int count = 0;
    trap.step([&] { count = database.RecordCount(); });
    for (int record = 1; record <= count; ++record) {
        const bool ok = trap.step([&] {
            database.MoveTo(record);
            if (database.GetField(kalvo::CallField::Type) == QLatin1String("-1"))
                return;
            const QString name = database.GetField(kalvo::CallField::MessageName);
            // A message kept outside the messages folder stays where it is.
            if (name.startsWith('/'))
                return;
            try {
                moveFile(oldFolder + name, newFolder + name);
            } catch (const kalvo::VbError& e) {
                if (result.reason.isEmpty())
                    result.reason = QString::fromStdString(e.description());
                throw;
            }
            moved << name;
        });
        if (!ok)
            ++result.failed;
    }
    // All or nothing: the folder setting changes only when every message is in the new folder, so
    // the ones already moved go back and every message stays playable.
    if (result.failed > 0)
        for (const QString& name : moved)
            trap.step([&] { moveFile(newFolder + name, oldFolder + name); });
    else
        result.moved = moved.size();
    return result;
}
