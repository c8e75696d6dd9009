// The greeting creator's link to the text-to-speech helper Sayer: starting it, the link number 7 with
// its retries, the messages it understands, and its voice list reply.
#pragma once

#include "Link.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class SpeechLink : public QObject
{
    Q_OBJECT

public:
    // link is the inter-process link (uDat); none gives the local-socket link.
    explicit SpeechLink(std::unique_ptr<kalvo::Link> link = nullptr, QObject* parent = nullptr);
    ~SpeechLink() override;

    // True when the speech system is registered: HKEY_CLASSES_ROOT "SAPI.SpVoice" has a default value.
    static bool SapiInstalled();
    // The helper program: beside our own executable, else the first "Sayer" on PATH; empty if none.
    static QString helperPath();
    // The voice names of a "GVCS:" reply (empty parts kept), or nothing for any other message.
    static std::optional<QStringList> voicesOf(const QString& reply);

    // At the creator's load: when speech is installed, starts the helper with "-gc", connects with
    // the retries and asks for the voices. @return SapiPresent (the speech system is installed).
    bool Start();

    // Connect(7): true when the link to the helper is up. Always false once the helper was told to quit.
    bool isUp();
    // Each sends its message when the link is up, and does nothing otherwise.
    void selectVoice(int index) { send("SVC:" + QString::number(index)); }
    void setRate(int rate) { send("SRT:" + QString::number(rate)); }
    void say(const QString& text) { send("Say:" + text); }
    void stopSpeaking() { send("Stp:"); }
    void setFileStream(const QString& path) { send("SFS:" + path); }
    void speakToWave(const QString& text) { send("STW:" + text); }
    // Tells the helper to quit ("ULD:").
    void unload();
    // Closes the link.
    void Disconnect();

    kalvo::Link& link() { return *m_link; }

signals:
    // The voices of a "GVCS:" reply, in order.
    void voicesArrived(const QStringList& voices);
    // The helper has written the file of "STW:" whole, or could not (why).
    void waveWritten(const QString& path);
    void waveFailed(const QString& why);

private:
    void send(const QString& message);
    void DataArrival(const QString& text);

    std::unique_ptr<kalvo::Link> m_link;
    bool m_helperQuit = false;
};
