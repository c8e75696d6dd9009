// Limits on guessing the remote-access password across calls: the wrong tries of the last hour and
// a lockout, kept in a small owner-only file beside the settings so a restart does not reset them.
#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

class Clock;

class RemoteLockout
{
public:
    static constexpr int kWrongPerCall = 3;   // then the caller is hung up on
    static constexpr int kWrongPerWindow = 5; // within kWindowSeconds, then a lockout
    static constexpr qint64 kWindowSeconds = 3600;
    static constexpr qint64 kLockSeconds = 15 * 60;

    // filePath is where the state lives; the clock gives the wall-clock time of each try.
    RemoteLockout(QString filePath, const Clock& clock);

    // The file beside the settings: "remote-lockout" in the registry folder.
    static QString defaultPath();

    // True while remote access is refused: during a lockout, and while the state cannot be read
    // or saved. until() tells until when a lockout lasts.
    bool lockedOut() const;
    // True when the last check found that the state cannot be saved.
    bool cannotSave() const { return m_cannotSave; }
    // Why the state could not be read at the last look ("Is a directory", "damaged line 2"); empty
    // when it could. A file that cannot be read is never written over.
    QString cannotRead() const { return m_readError; }
    QDateTime until() const;

    // Counts a wrong password. @return true when it starts a lockout.
    bool recordWrong();
    // The right password: earlier wrong tries no longer count.
    void recordRight();

private:
    struct State
    {
        std::vector<qint64> wrong; // seconds since the epoch, within the window
        qint64 lockedUntil = 0;
    };
    // @return false when the file exists but cannot be read whole or holds a line it does not know;
    // m_readError then says why.
    bool load(State& state) const;
    // @return false when the file could not be written.
    bool save(const State& state) const;
    qint64 nowSeconds() const;

    QString m_path;
    const Clock& m_clock;
    mutable bool m_cannotSave = false;
    mutable QString m_readError;
};
