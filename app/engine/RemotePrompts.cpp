// Remote access's spoken prompts and tones.
#include "RemotePrompts.h"

#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>
#include <QtEndian>
#include <cmath>
#include <vector>

namespace {
// Speech for a handful of short sentences takes well under a second; a helper that hangs must not
// keep the caller waiting in silence.
constexpr int kSpeechTimeoutMs = 8000;
constexpr int kRate = 8000;

void appendLe(QByteArray& bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

// 16-bit mono PCM at 8000 Hz; the sound component converts it for the line.
bool writeWave(const QString& path, const std::vector<int16_t>& samples)
{
    const auto dataBytes = quint32(samples.size() * 2);
    QByteArray bytes("RIFF");
    appendLe(bytes, 36 + dataBytes, 4);
    bytes.append("WAVEfmt ");
    appendLe(bytes, 16, 4);
    appendLe(bytes, 1, 2); // PCM
    appendLe(bytes, 1, 2); // mono
    appendLe(bytes, kRate, 4);
    appendLe(bytes, kRate * 2, 4);
    appendLe(bytes, 2, 2);
    appendLe(bytes, 16, 2);
    bytes.append("data");
    appendLe(bytes, dataBytes, 4);
    for (int16_t s : samples)
        appendLe(bytes, quint16(s), 2);
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QString plural(int n, const char* word)
{
    return QString::number(n) + " " + word + (n == 1 ? " message" : " messages");
}
} // namespace

RemotePrompts::RemotePrompts(QString helper, std::function<void(const QString&)> log, QObject* parent)
    : QObject(parent), m_helper(std::move(helper)), m_log(std::move(log)), m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] {
        m_log("Remote Control Speech Took Too Long");
        finished(false);
    });
}

RemotePrompts::~RemotePrompts()
{
    cancel();
}

QString RemotePrompts::countsText(int unread, int read)
{
    if (unread == 0 && read == 0)
        return QStringLiteral("You have no messages.");
    return "You have " + plural(unread, "new") + " and " + plural(read, "old") + ".";
}

QString RemotePrompts::writeTone(const QString& name, const QList<int>& pattern)
{
    // pattern: pairs of hertz (0 for a pause) and milliseconds.
    const QString path = m_dir.filePath(name);
    if (QFile::exists(path))
        return path;
    std::vector<int16_t> samples;
    for (qsizetype i = 0; i + 1 < pattern.size(); i += 2) {
        const int count = pattern[i + 1] * kRate / 1000;
        for (int n = 0; n < count; ++n) {
            // 5 ms ramps at both ends keep the tone from clicking.
            const double ramp = std::min({1.0, n / 40.0, (count - n) / 40.0});
            const double value = pattern[i] == 0 ? 0 : std::sin(2 * M_PI * pattern[i] * n / kRate);
            samples.push_back(int16_t(std::lround(9000 * ramp * value)));
        }
    }
    if (!m_dir.isValid() || !writeWave(path, samples)) {
        m_log("Remote Control Tone Not Written " + path);
        return {};
    }
    return path;
}

QString RemotePrompts::tonePath()
{
    return writeTone("between.wav", {0, 150, 1200, 200, 0, 150});
}

QString RemotePrompts::errorTonePath()
{
    return writeTone("refused.wav", {480, 180, 0, 70, 400, 180, 0, 70, 320, 300, 0, 150});
}

void RemotePrompts::speak(const QMap<QString, QString>& texts, std::function<void()> done)
{
    cancel();
    m_spoken.clear();
    m_done = std::move(done);
    if (m_helper.isEmpty() || !m_dir.isValid()) {
        QTimer::singleShot(0, this, [this, request = m_request] {
            if (request == m_request)
                finished(false);
        });
        return;
    }
    QStringList arguments{"--to-wave"};
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        const QString file = m_dir.filePath("spoken-" + it.key() + ".wav");
        QFile::remove(file);
        m_pending.insert(it.key(), file);
        arguments << file << it.value();
    }
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const bool ok = status == QProcess::NormalExit && code == 0;
        if (!ok)
            m_log("Remote Control Speech Failed: " +
                  QString::fromUtf8(m_process->readAll()).trimmed().replace('\n', ' '));
        finished(ok);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_log("Remote Control Speech Failed: " + m_process->errorString());
        finished(false);
    });
    m_timeout->start(kSpeechTimeoutMs);
    m_process->start(m_helper, arguments);
}

void RemotePrompts::finished(bool ok)
{
    m_timeout->stop();
    if (ok)
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
            if (QFile::exists(it.value()))
                m_spoken.insert(it.key(), it.value());
    m_pending.clear();
    if (m_process) {
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
        m_process->deleteLater();
        m_process = nullptr;
    }
    ++m_request;
    if (auto done = std::exchange(m_done, nullptr))
        done();
}

void RemotePrompts::cancel()
{
    m_done = nullptr;
    if (m_process || !m_pending.isEmpty())
        finished(false);
    ++m_request;
}

QString RemotePrompts::spokenPath(const QString& key) const
{
    return m_spoken.value(key);
}
