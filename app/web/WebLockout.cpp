// The web lockout and its file.
#include "WebLockout.h"

#include "Clock.h"
#include "PrivateFiles.h"
#include "RegistryStore.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

WebLockout::WebLockout(QString filePath, const Clock& clock) : m_path(std::move(filePath)), m_clock(clock) {}

QString WebLockout::defaultPath()
{
    return QString::fromStdString(kalvo::registry::registryDirectory()) + "/web-lockout";
}

qint64 WebLockout::now() const
{
    return m_clock.now().toSecsSinceEpoch();
}

bool WebLockout::load(State& state) const
{
    // Lines "wrong <address> <seconds>" and "locked <address or *> <seconds>".
    state = State{};
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (QFileInfo(m_path).isDir() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(1024 * 1024 + 1);
    if (bytes.size() > 1024 * 1024)
        return false;
    const qint64 at = now();
    for (const QString& line : QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(' ');
        bool ok = false;
        const qint64 when = words.size() == 3 ? words[2].toLongLong(&ok) : 0;
        if (!ok || (words[0] != QLatin1String("wrong") && words[0] != QLatin1String("locked")))
            return false;
        // A clock set back must not stretch a lockout or keep old tries forever.
        if (words[0] == QLatin1String("wrong") && when > at - kWindowSeconds && when <= at)
            state.wrong.emplace_back(words[1], when);
        else if (words[0] == QLatin1String("locked") && when > at && when <= at + kLockSeconds)
            state.lockedUntil[words[1]] = when;
    }
    return true;
}

bool WebLockout::save(const State& state) const
{
    QByteArray text;
    for (const auto& [address, when] : state.wrong)
        text += "wrong " + address.toUtf8() + " " + QByteArray::number(when) + "\n";
    for (const auto& [address, until] : state.lockedUntil)
        text += "locked " + address.toUtf8() + " " + QByteArray::number(until) + "\n";
    return PrivateFiles::writeWhole(m_path, text);
}

bool WebLockout::lockedOut(const QString& address) const
{
    State state;
    if (!load(state))
        return true;
    return state.lockedUntil.count(QStringLiteral("*")) || state.lockedUntil.count(address);
}

QString WebLockout::recordWrong(const QString& address)
{
    State state;
    if (!load(state))
        return {};
    const qint64 at = now();
    state.wrong.emplace_back(address, at);
    // The lockout lasts as long as the window, so the tries that caused it are gone when it ends.
    QString locked;
    const auto fromAddress = std::count_if(state.wrong.begin(), state.wrong.end(),
                                           [&](const auto& w) { return w.first == address; });
    if (fromAddress >= kWrongPerAddress && !state.lockedUntil.count(address)) {
        state.lockedUntil[address] = at + kLockSeconds;
        locked = address;
    }
    if (int(state.wrong.size()) >= kWrongOverall && !state.lockedUntil.count(QStringLiteral("*"))) {
        state.lockedUntil[QStringLiteral("*")] = at + kLockSeconds;
        locked = QStringLiteral("everyone");
    }
    save(state);
    return locked;
}

void WebLockout::recordRight(const QString& address)
{
    State state;
    if (!load(state))
        return;
    const auto before = state.wrong.size();
    std::erase_if(state.wrong, [&](const auto& w) { return w.first == address; });
    if (state.wrong.size() != before)
        save(state);
}
