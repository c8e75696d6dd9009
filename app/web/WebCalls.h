// The page's calls interface on the message store and the caller rules: listing, a message as
// plain PCM wave (with ranges), marking, deleting, and blocking or allowing a caller.
#pragma once

#include "WebHttp.h"

#include <QString>
#include <functional>

class MessageStore;
class mdlLog;

class WebCalls
{
public:
    // How a change reaches the window when it lists the call, so the window and the page stay in
    // step; each returns false when the window does not list it (the store is then used directly).
    struct Window
    {
        std::function<bool(qint64 id, bool read)> mark;
        std::function<bool(qint64 id)> remove;
    };
    static constexpr int kLargestPage = 500;

    // callsFolder holds the call database with the caller rules.
    WebCalls(MessageStore& store, QString callsFolder, mdlLog& log, Window window = {});

    // GET /api/calls
    WebReply list(const WebRequest& request);
    // GET /api/calls/{id}/audio
    WebReply audio(qint64 id, const WebRequest& request);
    // POST /api/calls/{id}/read and /unread
    WebReply mark(qint64 id, bool read);
    // DELETE /api/calls/{id}
    WebReply remove(qint64 id);
    // POST /api/rules
    WebReply addRule(const WebRequest& request);

    // A message file as 16-bit PCM wave at its own rate; empty when it cannot be read.
    static QByteArray pcmWave(const QString& path);

private:
    MessageStore& m_store;
    QString m_callsFolder;
    mdlLog& m_log;
    Window m_window;
    // The last message converted, for the browser's follow-up range requests.
    qint64 m_cachedId = 0;
    QString m_cachedPath;
    qint64 m_cachedStamp = 0;
    QByteArray m_cached;
};
