// A private PulseAudio server for one test process: null sinks "speaker" (description "Speaker") and
// "linein" ("Line In"), and the source "mic" remapped over "linein.monitor", in its own folder.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <vector>

class QProcess;

namespace kalvo::test {

class PrivatePulse
{
public:
    // Starts the server and points this process's PULSE_SERVER at it.
    PrivatePulse();
    // Stops the server it started.
    ~PrivatePulse();
    Q_DISABLE_COPY_MOVE(PrivatePulse)

    bool started() const { return m_started; }
    // Why it did not start.
    const QString& error() const { return m_error; }
    // The environment for pactl, parec and pacat talking to this server.
    QProcessEnvironment environment() const;
    // Runs pactl with args; its output, or a null text when it failed.
    QString pactl(const QStringList& args) const;
    // Gives the microphone ("mic") a steady sine of hz to hear. @return false when the server refused.
    bool useSineMicrophone(int hz) const;
    // Makes the microphones go: the default input is then a sink's monitor at most.
    bool removeMicrophones() const;
    const QString& folder() const { return m_folderPath; }

private:
    QTemporaryDir m_dir;
    bool m_started = false;
    QString m_error;
    qint64 m_pid = 0;
    QString m_folderPath;
};

// Records what a source of the server carries (a sink's monitor: "speaker.monitor") as 8000 Hz
// mono while it lives, through parec.
class PulseCapture
{
public:
    PulseCapture(const PrivatePulse& pulse, const QString& source);
    ~PulseCapture();
    Q_DISABLE_COPY_MOVE(PulseCapture)
    // Everything recorded so far.
    std::vector<int16_t> samples() const;

private:
    QString m_path;
    std::unique_ptr<QProcess> m_process;
};

// Skips the test when no server could start outside CI; in CI (CI=true) it fails instead.
#define KALVO_REQUIRE_PULSE(pulse)                                                                           \
    do {                                                                                                     \
        if (!(pulse).started()) {                                                                            \
            if (qgetenv("CI") == "true")                                                                     \
                QFAIL(qPrintable("PulseAudio did not start: " + (pulse).error()));                           \
            QSKIP(qPrintable("PulseAudio did not start: " + (pulse).error()));                               \
        }                                                                                                    \
    } while (false)

} // namespace kalvo::test
