// Limits on guessing the web password: 5 wrong tries from one address, or 20 from all, within 15
// minutes lock the page (for that address, or for everyone) for 15 minutes. Kept in an owner-only
// file beside the settings, so a restart does not reset them; a file that cannot be read or
// written keeps everyone out.
#pragma once

#include <QString>
#include <map>
#include <vector>

class Clock;

class WebLockout
{
public:
    static constexpr int kWrongPerAddress = 5;
    static constexpr int kWrongOverall = 20;
    static constexpr qint64 kWindowSeconds = 15 * 60;
    static constexpr qint64 kLockSeconds = 15 * 60;

    WebLockout(QString filePath, const Clock& clock);
    // "web-lockout" in the registry folder, beside the remote-access lockout.
    static QString defaultPath();

    // True while logins from address are refused.
    bool lockedOut(const QString& address) const;
    // Counts a wrong password from address. @return what it locked: "" nothing new, else the
    // address or "everyone".
    QString recordWrong(const QString& address);
    // The right password from address: its earlier wrong tries no longer count.
    void recordRight(const QString& address);

private:
    struct State
    {
        std::vector<std::pair<QString, qint64>> wrong; // address, seconds since the epoch
        std::map<QString, qint64> lockedUntil;         // address or "*" for everyone
    };
    bool load(State& state) const;
    bool save(const State& state) const;
    qint64 now() const;

    QString m_path;
    const Clock& m_clock;
};
