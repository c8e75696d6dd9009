// SMTP transfer through libcurl on a worker thread; events are posted back as queued calls.
#include "CurlMailSender.h"

#include "MailMessage.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <climits>
#include <cstring>
#include <curl/curl.h>
#include <functional>
#include <memory>

namespace kalvo {

namespace {

// State shared with libcurl's callbacks during one transfer.
struct TransferState
{
    QByteArray message;
    qsizetype sent = 0;
    int lastPermille = -1;
    QByteArray lastRefusal;
    const std::atomic<bool>* abort = nullptr;
    std::function<void(qint64, qint64)> progress;
};

size_t readMessage(char* buffer, size_t size, size_t count, void* userData)
{
    auto* state = static_cast<TransferState*>(userData);
    if (state->abort->load())
        return CURL_READFUNC_ABORT;
    const qsizetype chunk = std::min<qsizetype>(qsizetype(size * count), state->message.size() - state->sent);
    std::memcpy(buffer, state->message.constData() + state->sent, size_t(chunk));
    state->sent += chunk;
    // A progress event per tenth of a percent at most, so a big file does not flood the UI thread.
    const int permille = int(state->sent * 1000 / std::max<qsizetype>(1, state->message.size()));
    if (permille != state->lastPermille) {
        state->lastPermille = permille;
        state->progress(state->message.size(), state->sent);
    }
    return size_t(chunk);
}

int checkAbort(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<TransferState*>(userData)->abort->load() ? 1 : 0;
}

// Keeps the server's last refusal (a 4xx or 5xx reply): the reason a refused mail gives the user.
// A later positive reply clears it, except the farewell to the QUIT that follows a refusal.
int watchReplies(CURL*, curl_infotype type, char* data, size_t size, void* userData)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    const QByteArray lines = QByteArray(data, qsizetype(size)).trimmed();
    const QByteArray reply = lines.mid(lines.lastIndexOf('\n') + 1).trimmed();
    auto* state = static_cast<TransferState*>(userData);
    if (reply.startsWith('4') || reply.startsWith('5'))
        state->lastRefusal = reply;
    else if (!reply.isEmpty() && !reply.startsWith("221"))
        state->lastRefusal.clear();
    return 0;
}

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

CurlMailSender::CurlMailSender(QObject* parent) : MailSender(parent)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlMailSender::~CurlMailSender()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_abort = true;
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void CurlMailSender::setCaFile(const QString& path)
{
    m_caFile = QFile::encodeName(path);
}

void CurlMailSender::setTimeouts(std::chrono::seconds connect, std::chrono::seconds total)
{
    m_connectTimeout = connect;
    m_totalTimeout = total;
}

void CurlMailSender::SendMail(const QString& server, const QString& fromAddress, const QString& fromName,
                              const QString& toAddress, const QString& subject, const QString& attachmentPath)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Job{server, fromAddress, fromName, toAddress, subject, attachmentPath, m_caFile,
                          m_connectTimeout, m_totalTimeout});
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
    m_wake.notify_one();
}

QByteArray CurlMailSender::smtpUrl(const QString& server)
{
    const QString text = server.trimmed();
    if (text.isEmpty())
        return {};
    for (QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f)
            return {};
    }
    const bool hasScheme = text.contains(QLatin1String("://"));
    const QString full = hasScheme ? text : QStringLiteral("smtp://") + text;
    const QUrl url(full, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps")))
        return {};
    if (!hasScheme && (!url.userInfo().isEmpty() || !url.path().isEmpty()))
        return {};
    return full.toUtf8();
}

void CurlMailSender::workerLoop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const Outcome outcome = transfer(job);
        if (m_abort)
            return;
        if (outcome.sent)
            QMetaObject::invokeMethod(
                this, [this] { emit MailSent(); }, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(
                this, [this, reason = outcome.reason] { emit SendFailed(reason); }, Qt::QueuedConnection);
    }
}

void CurlMailSender::postProgress(qint64 total, qint64 done)
{
    const int total32 = int(std::min<qint64>(total, INT_MAX));
    const int done32 = int(std::min<qint64>(done, INT_MAX));
    QMetaObject::invokeMethod(
        this, [this, total32, done32] { emit SendProgress(total32, done32); }, Qt::QueuedConnection);
}

CurlMailSender::Outcome CurlMailSender::transfer(const Job& job)
{
    const QByteArray url = smtpUrl(job.server);
    if (url.isEmpty())
        return {false,
                QStringLiteral("The mail server \"%1\" is not a host name or smtp URL").arg(job.server)};
    if (!MailMessage::isUsableAddress(job.fromAddress))
        return {false, QStringLiteral("The sender address \"%1\" is not valid").arg(job.fromAddress)};
    if (!MailMessage::isUsableAddress(job.toAddress))
        return {false, QStringLiteral("The recipient address \"%1\" is not valid").arg(job.toAddress)};

    MailMessage message(job.fromAddress, job.fromName, job.toAddress, job.subject);
    // A call without a message passes the messages folder itself: the mail then goes without one.
    const QFileInfo attachment(job.attachmentPath);
    if (!job.attachmentPath.isEmpty() && attachment.exists() && !attachment.isDir()) {
        QFile file(job.attachmentPath);
        if (!file.open(QIODevice::ReadOnly))
            return {false, QStringLiteral("Cannot read the message file %1: %2")
                               .arg(job.attachmentPath, file.errorString())};
        message.setAttachment(attachment.fileName(), file.readAll());
    }

    TransferState state;
    state.message = message.toBytes();
    state.abort = &m_abort;
    state.progress = [this](qint64 total, qint64 done) { postProgress(total, done); };

    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return {false, QStringLiteral("The mail library could not start")};
    const QByteArray from = "<" + job.fromAddress.toLatin1() + ">";
    std::unique_ptr<curl_slist, SlistDeleter> recipients(
        curl_slist_append(nullptr, ("<" + job.toAddress.toLatin1() + ">").constData()));
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    // A login never crosses the network in clear: with one in the URL, STARTTLS is required;
    // without, it is used whenever the server offers it.
    const bool hasLogin = !QUrl(QString::fromUtf8(url)).userInfo().isEmpty();
    curl_easy_setopt(handle, CURLOPT_USE_SSL, long(hasLogin ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(state.message.size()));
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(handle, CURLOPT_READDATA, &state);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkAbort);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, watchReplies);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &state);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, long(job.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, long(job.totalTimeout.count()));
    if (!job.caFile.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, job.caFile.constData());

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK)
        return {true, {}};
    // A refusal is best told in the server's own words; anything else in libcurl's.
    if (!state.lastRefusal.isEmpty())
        return {false, QString::fromUtf8(state.lastRefusal)};
    const QString text = QString::fromUtf8(errorText).trimmed();
    return {false, text.isEmpty() ? QString::fromUtf8(curl_easy_strerror(result)) : text};
}

} // namespace kalvo
