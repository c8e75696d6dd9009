// Serves the greeting creator's messages on a link: voices, rate, speaking aloud and into a wave file.
#include "SayerService.h"

#include "SpeakerOutput.h"
#include "SpeechEngine.h"
#include "WaveFileWriter.h"

#include <cstdio>

namespace kalvo::sayer {

static void logLine(const QString& text)
{
    std::fprintf(stderr, "Sayer: %s\n", qPrintable(text));
}

// Parses the decimal argument of "SVC:" and "SRT:"; surrounding spaces are tolerated.
static bool parseNumber(const QString& argument, int& value)
{
    bool ok = false;
    value = argument.trimmed().toInt(&ok);
    return ok;
}

SayerService::SayerService(SpeechEngine& engine, SpeakerOutput& speaker, Lifetime lifetime, QObject* parent)
    : QObject(parent), m_engine(engine), m_speaker(speaker), m_lifetime(lifetime)
{
    m_goneTimer.setSingleShot(true);
    connect(&m_goneTimer, &QTimer::timeout, this, &SayerService::programGone);
    connect(&m_server, &LinkServer::DataArrival, this, &SayerService::handleMessage);
    connect(&m_server, &LinkServer::connected, &m_goneTimer, &QTimer::stop);
    connect(&m_server, &LinkServer::allDisconnected, this,
            [this] { m_goneTimer.start(m_lifetime.afterDisconnect); });
}

bool SayerService::start(int number, QString& error)
{
    if (!m_server.listen(number)) {
        error = m_server.errorString();
        return false;
    }
    // A helper whose program never connects must not stay behind as an orphan.
    m_goneTimer.start(m_lifetime.firstConnection);
    return true;
}

void SayerService::handleMessage(const QString& text)
{
    // Tags are case-sensitive and the argument follows directly.
    if (text == QLatin1String("GVC:"))
        sendVoices();
    else if (text.startsWith(QLatin1String("SVC:")))
        selectVoice(text.mid(4));
    else if (text.startsWith(QLatin1String("SRT:")))
        setRate(text.mid(4));
    else if (text.startsWith(QLatin1String("Say:")))
        speakAloud(text.mid(4));
    else if (text == QLatin1String("Stp:"))
        m_speaker.stop();
    else if (text.startsWith(QLatin1String("SFS:")))
        m_outputFile = text.mid(4);
    else if (text.startsWith(QLatin1String("STW:")))
        writeToFile(text.mid(4));
    else if (text == QLatin1String("ULD:")) {
        m_speaker.stop();
        emit quitRequested();
    } else
        logLine(QStringLiteral("unknown message \"%1\" ignored").arg(text.left(40)));
}

void SayerService::sendVoices()
{
    if (!m_server.reply(QStringLiteral("GVCS:") + m_engine.voiceNames().join(QStringLiteral("\r\n"))))
        logLine(QStringLiteral("the voice list could not be sent"));
}

void SayerService::selectVoice(const QString& argument)
{
    int index = 0;
    if (!parseNumber(argument, index) || !m_engine.selectVoice(index))
        logLine(QStringLiteral("no voice \"%1\"; the voice stays as it was").arg(argument));
}

void SayerService::setRate(const QString& argument)
{
    int value = 0;
    if (parseNumber(argument, value))
        m_engine.setRate(value);
    else
        logLine(QStringLiteral("rate \"%1\" is not a number; the rate stays as it was").arg(argument));
}

void SayerService::speakAloud(const QString& text)
{
    QByteArray pcm;
    QString error;
    if (!m_engine.synthesize(text, pcm, error) || !m_speaker.play(pcm, m_engine.sampleRate(), error))
        logLine(QStringLiteral("cannot speak aloud: %1").arg(error));
}

void SayerService::writeToFile(const QString& text)
{
    // The program hears when the file is whole ("STWD:" + path) or why there is none ("STWE:").
    if (m_outputFile.isEmpty()) {
        logLine(QStringLiteral("no output file set; nothing written"));
        m_server.reply(QStringLiteral("STWE:no output file set"));
        return;
    }
    QByteArray pcm;
    QString error;
    if (!m_engine.synthesize(text, pcm, error) ||
        !WaveFileWriter::write(m_outputFile, pcm, m_engine.sampleRate(), error)) {
        logLine(QStringLiteral("cannot write %1: %2").arg(m_outputFile, error));
        m_server.reply(QStringLiteral("STWE:") + error);
        return;
    }
    m_server.reply(QStringLiteral("STWD:") + m_outputFile);
}

void SayerService::programGone()
{
    logLine(QStringLiteral("the program is gone; quitting"));
    m_speaker.stop();
    emit quitRequested();
}

} // namespace kalvo::sayer
