// Moving message files between messages folders.
#include "MessageFolderMove.h"

#include "CallDatabase.h"
#include "ErrorTrap.h"
#include "VbError.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

// Copies from into to (which must not exist), flushed to disk before the old file goes.
void copyAcross(const QByteArray& from, const QByteArray& to)
{
    Fd in{::open(from.constData(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        raiseErrno(errno);
    const QByteArray part = to + ".part";
    Fd out{::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (out.fd < 0)
        raiseErrno(errno);
    try {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                raiseErrno(errno);
            if (n == 0)
                break;
            writeAll(out.fd, buffer, n);
        }
        if (::fsync(out.fd) != 0)
            raiseErrno(errno);
        // link() refuses to replace a file that appeared meanwhile, where rename() would not.
        if (::link(part.constData(), to.constData()) != 0)
            raiseErrno(errno);
    } catch (...) {
        ::unlink(part.constData());
        throw;
    }
    ::unlink(part.constData());
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
    if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP)
        raiseErrno(errno);
    copyAcross(source, target);
    if (::unlink(source.constData()) != 0)
        raiseErrno(errno);
}

int MessageFolderMove::move(kalvo::CallDatabase& database, const QString& oldFolder, const QString& newFolder,
                            const LogLine& log)
{
    const ErrorTrap trap("ErrcmdBrowsMessagesPath ", log);
    int moved = 0;
    int count = 0;
    trap.step([&] { count = database.RecordCount(); });
    for (int record = 1; record <= count; ++record) {
        trap.step([&] {
            database.MoveTo(record);
            if (database.GetField("Type") == QLatin1String("-1"))
                return;
            const QString name = database.GetField("Call_Massage_Name");
            moveFile(oldFolder + name, newFolder + name);
            ++moved;
        });
    }
    return moved;
}
