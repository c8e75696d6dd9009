// A private PulseAudio server for one test process: null sinks "speaker" (description "Speaker") and
// "linein" ("Line In"), and the source "mic" remapped over "linein.monitor", in its own folder.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

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

private:
    QTemporaryDir m_dir;
    bool m_started = false;
    QString m_error;
    qint64 m_pid = 0;
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
