// The remote-access lockout and its file.
#include "RemoteLockout.h"

#include "Clock.h"
#include "RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RemoteLockout::RemoteLockout(QString filePath, const Clock& clock)
    : m_path(std::move(filePath)), m_clock(clock)
{
}

QString RemoteLockout::defaultPath()
{
    return QString::fromStdString(kalvo::registry::registryDirectory()) + "/remote-lockout";
}

qint64 RemoteLockout::nowSeconds() const
{
    return m_clock.now().toSecsSinceEpoch();
}

RemoteLockout::State RemoteLockout::load() const
{
    // Lines "wrong <seconds>" and "locked_until <seconds>"; anything else is ignored.
    State state;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return state;
    const qint64 now = nowSeconds();
    const QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        bool ok = false;
        const qint64 at = words.size() == 2 ? words[1].toLongLong(&ok) : 0;
        if (!ok)
            continue;
        // A clock set back must not stretch a lockout or keep old tries forever.
        if (words[0] == QLatin1String("wrong") && at > now - kWindowSeconds && at <= now)
            state.wrong.push_back(at);
        else if (words[0] == QLatin1String("locked_until") && at > now && at <= now + kLockSeconds)
            state.lockedUntil = at;
    }
    return state;
}

bool RemoteLockout::save(const State& state) const
{
    QByteArray text;
    for (qint64 at : state.wrong)
        text += "wrong " + QByteArray::number(at) + "\n";
    if (state.lockedUntil)
        text += "locked_until " + QByteArray::number(state.lockedUntil) + "\n";
    QDir().mkpath(QFileInfo(m_path).path());
    // Written whole to an owner-only temporary file and renamed over the old one.
    const QByteArray temp = QFile::encodeName(m_path + ".tmp");
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    if (!ok || ::rename(temp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

bool RemoteLockout::lockedOut() const
{
    // Fails closed: a state that cannot be kept could never lock a guesser out, so nobody gets in
    // until it can be written again.
    const State state = load();
    m_cannotSave = !save(state);
    return m_cannotSave || state.lockedUntil != 0;
}

QDateTime RemoteLockout::until() const
{
    const qint64 at = load().lockedUntil;
    return at ? QDateTime::fromSecsSinceEpoch(at) : QDateTime();
}

bool RemoteLockout::recordWrong()
{
    State state = load();
    const qint64 now = nowSeconds();
    state.wrong.push_back(now);
    bool started = false;
    if (!state.lockedUntil && int(state.wrong.size()) >= kWrongPerWindow) {
        state.lockedUntil = now + kLockSeconds;
        state.wrong.clear(); // a fresh count once the lockout ends
        started = true;
    }
    save(state);
    return started;
}

void RemoteLockout::recordRight()
{
    State state = load();
    if (state.wrong.empty())
        return;
    state.wrong.clear();
    save(state);
}
