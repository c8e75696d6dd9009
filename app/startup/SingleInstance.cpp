// One running Kalvo per user.
#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString SingleInstance::lockPath()
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir(runtime).exists())
        return QDir::tempPath() + "/kalvo-" + QString::number(getuid()) + ".lock";
    return runtime + "/kalvo.lock";
}

SingleInstance::SingleInstance()
{
    int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // nowhere to keep the lock: better a second instance than none at all
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        m_first = false;
        return;
    }
    m_fd = fd;
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
