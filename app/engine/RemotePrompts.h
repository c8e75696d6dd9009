// What remote access says and sounds to the caller: spoken prompts made by the speech helper for each
// session, and the short tones, all as wave files in a private folder of this run.
#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <functional>

class QProcess;
class QTimer;

class RemotePrompts : public QObject
{
    Q_OBJECT

public:
    // helper is the speech helper's path; empty when there is none (then nothing is spoken).
    RemotePrompts(QString helper, std::function<void(const QString&)> log, QObject* parent);
    ~RemotePrompts() override;

    // The tone between messages and the tone for a refused password; empty when they cannot be written.
    QString tonePath();
    QString errorTonePath();

    // Has the helper speak each text (by key) into a file, then calls done, also when it failed or
    // took too long (then spokenPath gives nothing). A request still running is abandoned.
    void speak(const QMap<QString, QString>& texts, std::function<void()> done);
    // The file a text was spoken into by the last speak; empty when it was not.
    QString spokenPath(const QString& key) const;
    // Forgets a request still running; its done is never called.
    void cancel();

    // The announcement of the counts: "You have 2 new messages and 1 old message."
    static QString countsText(int unread, int read);

private:
    QString writeTone(const QString& name, const QList<int>& pattern);
    void finished(bool ok);

    QString m_helper;
    std::function<void(const QString&)> m_log;
    QTemporaryDir m_dir;
    QProcess* m_process = nullptr;
    QTimer* m_timeout;
    QMap<QString, QString> m_pending; // key -> file of the request running
    QMap<QString, QString> m_spoken;  // key -> file of the last request that succeeded
    std::function<void()> m_done;
    int m_request = 0;
};
