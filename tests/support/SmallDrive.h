// A small tmpfs mounted for one test (tests run as root), to see what a full drive does.
#pragma once

#include <QString>

namespace kalvo::test {

class SmallDrive
{
public:
    // Mounts a tmpfs of kilobytes at path (made when absent); mounted() says whether it worked.
    SmallDrive(const QString& path, int kilobytes);
    ~SmallDrive();
    SmallDrive(const SmallDrive&) = delete;
    SmallDrive& operator=(const SmallDrive&) = delete;

    bool mounted() const { return m_mounted; }
    // Writes a file into the drive until no byte more fits.
    void fill() const;

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace kalvo::test
