// Serves the greeting creator's messages on a link: voices, rate, speaking aloud and into a wave file.
#pragma once

#include "LinkServer.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

namespace kalvo::sayer {

class SpeakerOutput;
class SpeechEngine;

class SayerService : public QObject
{
    Q_OBJECT

public:
    // How long the helper waits for the program to connect after start, and to come back after its
    // last connection closed, before it concludes the program is gone and quits.
    struct Lifetime
    {
        std::chrono::milliseconds firstConnection{30000};
        std::chrono::milliseconds afterDisconnect{5000};
    };

    SayerService(SpeechEngine& engine, SpeakerOutput& speaker, Lifetime lifetime, QObject* parent = nullptr);

    // Starts serving link `number`. @return false with `error` set when the socket cannot be opened.
    bool start(int number, QString& error);

signals:
    // The helper should end: "ULD:" arrived or the program is gone.
    void quitRequested();

private:
    void handleMessage(const QString& text);
    void sendVoices();
    void selectVoice(const QString& argument);
    void setRate(const QString& argument);
    void speakAloud(const QString& text);
    void writeToFile(const QString& text);
    void programGone();

    SpeechEngine& m_engine;
    SpeakerOutput& m_speaker;
    Lifetime m_lifetime;
    LinkServer m_server;
    QTimer m_goneTimer;
    QString m_outputFile;
};

} // namespace kalvo::sayer
