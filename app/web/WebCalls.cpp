// The calls interface of the web page.
#include "WebCalls.h"

#include "CallerIdentity.h"
#include "CallerRuleStore.h"
#include "MessageStore.h"
#include "RuleMatcher.h"
#include "mdlLog.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <sndfile.h>

namespace {
QJsonObject toJson(const MessageStore::Call& call)
{
    return {{"id", call.id},         {"name", call.name},
            {"number", call.number}, {"date", call.date},
            {"time", call.time},     {"length", call.hasMessage() ? call.type : QString()},
            {"read", call.isRead()}, {"hasMessage", call.hasMessage()}};
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

template <typename T> void putLe(QByteArray& out, T value)
{
    const T le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&le), sizeof le);
}

// The single byte range of a Range header within size: false with no usable range (the whole
// file is sent), unsatisfiable set when the range lies outside.
bool parseRange(const QByteArray& header, qint64 size, qint64& from, qint64& to, bool& unsatisfiable)
{
    unsatisfiable = false;
    if (!header.startsWith("bytes=") || header.contains(','))
        return false;
    const QByteArray spec = header.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0)
        return false;
    bool okFrom = true, okTo = true;
    const QByteArray a = spec.left(dash), b = spec.mid(dash + 1);
    if (a.isEmpty()) { // the last b bytes
        const qint64 last = b.toLongLong(&okTo);
        if (!okTo || last <= 0)
            return false;
        from = std::max<qint64>(0, size - last);
        to = size - 1;
    } else {
        from = a.toLongLong(&okFrom);
        to = b.isEmpty() ? std::max(from, size - 1) : b.toLongLong(&okTo);
        if (!okFrom || !okTo || from < 0 || to < from)
            return false;
        to = std::min(to, size - 1);
    }
    unsatisfiable = from >= size;
    return true;
}
} // namespace

WebCalls::WebCalls(MessageStore& store, QString callsFolder, mdlLog& log, Window window)
    : m_store(store), m_callsFolder(std::move(callsFolder)), m_log(log), m_window(std::move(window))
{
}

WebReply WebCalls::list(const WebRequest& request)
{
    bool ok = true;
    int limit = 100;
    if (request.query.hasQueryItem("limit"))
        limit = request.query.queryItemValue("limit").toInt(&ok);
    qint64 before = 0;
    if (ok && request.query.hasQueryItem("before"))
        before = request.query.queryItemValue("before").toLongLong(&ok);
    if (!ok || limit < 1 || limit > kLargestPage || before < 0)
        return WebReply::error(400, QStringLiteral("limit is 1 to %1, before a call's id").arg(kLargestPage));
    const std::vector<MessageStore::Call> calls =
        before ? m_store.pageBelow(before, limit) : m_store.page(0, limit);
    QJsonArray rows;
    for (const MessageStore::Call& call : calls)
        rows.append(toJson(call));
    return WebReply::json(
        compact({{"calls", rows}, {"total", m_store.total()}, {"unread", m_store.unread()}}));
}

QByteArray WebCalls::pcmWave(const QString& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    constexpr sf_count_t kLongest = 8000LL * 60 * 60 * 4; // four hours at 8 kHz: no message is longer
    if (info.channels < 1 || info.channels > 2 || info.frames < 0 || info.frames > kLongest) {
        sf_close(file);
        return {};
    }
    // Decoded straight behind the header's place, in one piece: no copy, no sample-by-sample append.
    constexpr int kHeader = 44;
    QByteArray out(kHeader + qsizetype(info.frames) * info.channels * 2, Qt::Uninitialized);
    auto* samples = reinterpret_cast<int16_t*>(out.data() + kHeader);
    const sf_count_t got = std::max<sf_count_t>(sf_readf_short(file, samples, info.frames), 0);
    sf_close(file);
    const quint32 dataBytes = quint32(got * info.channels * 2);
    out.truncate(kHeader + dataBytes);
    qToLittleEndian<qint16>(samples, qsizetype(dataBytes / 2), samples);
    QByteArray head;
    head += "RIFF";
    putLe<quint32>(head, 36 + dataBytes);
    head += "WAVEfmt ";
    putLe<quint32>(head, 16);
    putLe<quint16>(head, 1);
    putLe<quint16>(head, quint16(info.channels));
    putLe<quint32>(head, quint32(info.samplerate));
    putLe<quint32>(head, quint32(info.samplerate * info.channels * 2));
    putLe<quint16>(head, quint16(info.channels * 2));
    putLe<quint16>(head, 16);
    head += "data";
    putLe<quint32>(head, dataBytes);
    std::copy(head.cbegin(), head.cend(), out.begin());
    return out;
}

WebReply WebCalls::audio(qint64 id, const WebRequest& request)
{
    const QString path = m_store.pathOf(id);
    if (path.isEmpty())
        return WebReply::error(404, QStringLiteral("no such message"));
    const qint64 stamp = QFileInfo(path).lastModified().toMSecsSinceEpoch();
    if (id != m_cachedId || path != m_cachedPath || stamp != m_cachedStamp) {
        m_cached = pcmWave(path);
        m_cachedId = m_cached.isEmpty() ? 0 : id;
        m_cachedPath = path;
        m_cachedStamp = stamp;
    }
    if (m_cached.isEmpty())
        return WebReply::error(404, QStringLiteral("the message cannot be read"));
    const qint64 size = m_cached.size();
    WebReply reply{200, "audio/wav", {}, {{"Accept-Ranges", "bytes"}}};
    qint64 from = 0, to = size - 1;
    bool unsatisfiable = false;
    if (parseRange(request.header("range"), size, from, to, unsatisfiable)) {
        if (unsatisfiable) {
            reply.status = 416;
            reply.headers.append({"Content-Range", "bytes */" + QByteArray::number(size)});
            return reply;
        }
        reply.status = 206;
        reply.headers.append({"Content-Range", "bytes " + QByteArray::number(from) + "-" +
                                                   QByteArray::number(to) + "/" + QByteArray::number(size)});
    }
    reply.body = m_cached.mid(from, to - from + 1);
    return reply;
}

WebReply WebCalls::mark(qint64 id, bool read)
{
    if (!m_store.call(id))
        return WebReply::error(404, QStringLiteral("no such call"));
    if (!(m_window.mark && m_window.mark(id, read)))
        m_store.setRead(id, read);
    const std::optional<MessageStore::Call> call = m_store.call(id);
    if (!call || call->isRead() != read)
        return WebReply::error(500, QStringLiteral("the call could not be marked"));
    return WebReply::json(compact(toJson(*call)));
}

WebReply WebCalls::remove(qint64 id)
{
    if (!m_store.call(id))
        return WebReply::error(404, QStringLiteral("no such call"));
    if (!(m_window.remove && m_window.remove(id)))
        m_store.remove(id);
    if (m_store.call(id))
        return WebReply::error(500, QStringLiteral("the call could not be deleted"));
    return {204, {}, {}, {}};
}

WebReply WebCalls::addRule(const WebRequest& request)
{
    const QJsonObject asked = QJsonDocument::fromJson(request.body).object();
    kalvo::CallerRule rule;
    const QString kind = asked.value("kind").toString();
    if (kind != QLatin1String("block") && kind != QLatin1String("allow"))
        return WebReply::error(400, QStringLiteral("kind is \"block\" or \"allow\""));
    rule.kind =
        kind == QLatin1String("allow") ? kalvo::CallerRule::Kind::Allow : kalvo::CallerRule::Kind::Block;
    rule.number = asked.value("number").toString().trimmed();
    rule.label = asked.value("name").toString().left(200);
    if (asked.contains("call")) { // the number of a stored call, as the store has it
        const std::optional<MessageStore::Call> call = m_store.call(qint64(asked.value("call").toDouble()));
        if (!call)
            return WebReply::error(404, QStringLiteral("no such call"));
        // A caller without a number is stored as "UNKNOWN" beside "Private" or "Out of area": the
        // rule is for callers without a number, not for that text.
        const CallerIdentity caller = CallerIdentity::fromText(call->name, call->number);
        rule.number = caller.noNumber() ? QString(RuleMatcher::kWithheld) : caller.number->trimmed();
        rule.label = caller.name.value_or(QString());
    }
    rule.note = QStringLiteral("from the web page");
    if (const QString wrong = RuleMatcher::ruleError(rule); !wrong.isEmpty())
        return WebReply::error(400, wrong);
    kalvo::CallerRuleStore rules;
    if (!rules.open(m_callsFolder) || !rules.add(rule)) {
        m_log.WriteSysLog("Web rule not stored: " + rules.lastError());
        return WebReply::error(500, QStringLiteral("the rule could not be stored"));
    }
    m_log.WriteSysLog("Web " + kind + " " + rule.number);
    return WebReply::json(compact({{"id", rule.id}, {"kind", kind}, {"number", rule.number}}));
}
