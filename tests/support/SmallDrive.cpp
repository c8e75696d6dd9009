// Mounting and filling a small tmpfs.
#include "SmallDrive.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <sys/mount.h>

namespace kalvo::test {

SmallDrive::SmallDrive(const QString& path, int kilobytes) : m_path(path)
{
    QDir().mkpath(path);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
    m_mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallDrive::~SmallDrive()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

void SmallDrive::fill() const
{
    QFile filler(m_path + "/filler");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    while (filler.write(block.left(1)) == 1) {
    }
}

} // namespace kalvo::test
