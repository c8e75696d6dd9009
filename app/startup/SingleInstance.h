// One running Kalvo per user: a lock held for the life of the process.
#pragma once

#include <QString>

class SingleInstance
{
public:
    // Takes the lock in $XDG_RUNTIME_DIR (or the temporary folder); the kernel releases it when the
    // process ends, however it ends.
    SingleInstance();
    ~SingleInstance();
    Q_DISABLE_COPY_MOVE(SingleInstance)

    // False when another instance holds the lock.
    bool isFirst() const { return m_first; }

    static QString lockPath();

private:
    int m_fd = -1;
    bool m_first = true;
};
