// The remote-access lockout and its file.
#include "RemoteLockout.h"

#include "Clock.h"
#include "PrivateFiles.h"
#include "RegistryStore.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

bool RemoteLockout::load(State& state) const
{
    // Lines "wrong <seconds>" and "locked_until <seconds>". Anything else means the file is not
    // what this class wrote, and a lockout it may hold cannot be told apart from none.
    state = State{};
    m_readError.clear();
    auto fail = [this](const QString& why) {
        m_readError = why;
        return false;
    };
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0) {
        if (errno == ENOENT)
            return true; // never written: no tries yet
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISDIR(info.st_mode))
        return fail(QStringLiteral("it is a folder"));
    constexpr qint64 kLargest = 64 * 1024;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QByteArray bytes = file.read(kLargest + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (bytes.size() > kLargest)
        return fail(QStringLiteral("it is larger than a lockout state can be"));
    const qint64 now = nowSeconds();
    const QStringList lines = QString::fromUtf8(bytes).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QStringList words = lines[i].split(' ');
        bool ok = false;
        const qint64 at = words.size() == 2 ? words[1].toLongLong(&ok) : 0;
        const bool known =
            words.value(0) == QLatin1String("wrong") || words.value(0) == QLatin1String("locked_until");
        if (!ok || !known)
            return fail("line " + QString::number(i + 1) + " is damaged");
        // A clock set back must not stretch a lockout or keep old tries forever.
        if (words[0] == QLatin1String("wrong") && at > now - kWindowSeconds && at <= now)
            state.wrong.push_back(at);
        else if (words[0] == QLatin1String("locked_until") && at > now && at <= now + kLockSeconds)
            state.lockedUntil = at;
    }
    return true;
}

bool RemoteLockout::save(const State& state) const
{
    QByteArray text;
    for (qint64 at : state.wrong)
        text += "wrong " + QByteArray::number(at) + "\n";
    if (state.lockedUntil)
        text += "locked_until " + QByteArray::number(state.lockedUntil) + "\n";
    return PrivateFiles::writeWhole(m_path, text);
}

bool RemoteLockout::lockedOut() const
{
    // Fails closed: a state that cannot be read may hold a lockout, and one that cannot be kept
    // could never lock a guesser out, so nobody gets in until it can be read and written again.
    State state;
    if (!load(state)) {
        m_cannotSave = false;
        return true;
    }
    m_cannotSave = !save(state);
    return m_cannotSave || state.lockedUntil != 0;
}

QDateTime RemoteLockout::until() const
{
    State state;
    const qint64 at = load(state) ? state.lockedUntil : 0;
    return at ? QDateTime::fromSecsSinceEpoch(at) : QDateTime();
}

bool RemoteLockout::recordWrong()
{
    State state;
    if (!load(state))
        return false; // already refused; what the file holds is left as it is
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
    State state;
    if (!load(state) || state.wrong.empty())
        return;
    state.wrong.clear();
    save(state);
}
