// Sessions of the web page.
#include "WebSessions.h"

#include "Clock.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

namespace {
QByteArray randomToken()
{
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        qFatal("no random numbers for a session");
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}
} // namespace

WebSessions::Session WebSessions::open()
{
    const QDateTime now = m_clock.now();
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = it->lastUsed.secsTo(now) > kIdleSeconds ? m_sessions.erase(it) : std::next(it);
    if (m_sessions.size() >= kMostSessions) {
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->lastUsed < oldest->lastUsed)
                oldest = it;
        m_sessions.erase(oldest);
    }
    Session session{randomToken(), randomToken()};
    m_sessions.insert(session.token, {session.csrf, now});
    return session;
}

QByteArray WebSessions::touch(const QByteArray& token)
{
    auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return {};
    const QDateTime now = m_clock.now();
    if (it->lastUsed.secsTo(now) > kIdleSeconds) {
        m_sessions.erase(it);
        return {};
    }
    it->lastUsed = now;
    return it->csrf;
}

bool WebSessions::sameToken(const QByteArray& a, const QByteArray& b)
{
    return !a.isEmpty() && a.size() == b.size() &&
           CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}
