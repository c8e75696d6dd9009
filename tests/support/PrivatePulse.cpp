// Starting and stopping the private PulseAudio server of a test.
#include "PrivatePulse.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstring>

namespace kalvo::test {

PrivatePulse::PrivatePulse()
{
    if (!m_dir.isValid()) {
        m_error = "no temporary folder";
        return;
    }
    const QString dir = m_dir.path();
    m_folderPath = dir;
    QDir().mkpath(dir + "/runtime");
    QFile::setPermissions(dir + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile script(dir + "/server.pa");
    QFile client(dir + "/client.conf");
    if (!script.open(QIODevice::WriteOnly) || !client.open(QIODevice::WriteOnly)) {
        m_error = "cannot write the configuration";
        return;
    }
    script.write(
        QString(
            "load-module module-native-protocol-unix auth-anonymous=1 socket=%1/native\n"
            "load-module module-null-sink sink_name=speaker sink_properties=device.description=Speaker\n"
            "load-module module-null-sink sink_name=linein sink_properties='device.description=\"Line In\"'\n"
            "load-module module-remap-source source_name=mic master=linein.monitor "
            "source_properties=device.description=Microphone\n"
            "set-default-sink speaker\n"
            "set-default-source mic\n")
            .arg(dir)
            .toUtf8());
    script.close();
    // Never let a client start a server of its own.
    client.write("autospawn = no\n");
    client.close();
    qputenv("PULSE_SERVER", QString("unix:%1/native").arg(dir).toUtf8());
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(dir + "/client.conf"));

    QProcess server;
    server.setProcessEnvironment(environment());
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start("pulseaudio", {"-D", "-n", "-F", dir + "/server.pa", "--exit-idle-time=-1",
                                "--use-pid-file=yes", "--log-target=file:" + dir + "/server.log"});
    if (!server.waitForFinished(15000) || server.exitStatus() != QProcess::NormalExit ||
        server.exitCode() != 0) {
        m_error = "pulseaudio: " + server.errorString() + " " + QString::fromUtf8(server.readAll());
        return;
    }
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(50)) {
        QProcess info;
        info.setProcessEnvironment(environment());
        info.start("pactl", {"info"});
        if (!info.waitForFinished(5000) || info.exitCode() != 0)
            continue;
        // The server starts even when a line of its script fails: check that everything is there.
        QProcess list;
        list.setProcessEnvironment(environment());
        list.start("sh", {"-c", "pactl list short sinks; pactl list short sources"});
        list.waitForFinished(5000);
        const QString devices = QString::fromUtf8(list.readAllStandardOutput());
        if (!devices.contains("\tspeaker\t") || !devices.contains("\tlinein\t") ||
            !devices.contains("\tmic\t")) {
            m_error = "the server lacks its devices: " + devices;
            QProcess stop;
            stop.setProcessEnvironment(environment());
            stop.start("pactl", {"exit"});
            stop.waitForFinished(5000);
            return;
        }
        {
            QFile pidFile(dir + "/runtime/pulse/pid");
            if (pidFile.open(QIODevice::ReadOnly))
                m_pid = pidFile.readAll().trimmed().toLongLong();
            m_started = true;
            return;
        }
    }
    m_error = "the server did not answer";
}

PrivatePulse::~PrivatePulse()
{
    if (!m_started)
        return;
    QProcess stop;
    stop.setProcessEnvironment(environment());
    stop.start("pactl", {"exit"});
    stop.waitForFinished(5000);
    // Wait for the daemon we started to go; make sure of it if it lingers.
    for (QDeadlineTimer deadline(3000); m_pid > 0 && !deadline.hasExpired(); QThread::msleep(20)) {
        if (::kill(static_cast<pid_t>(m_pid), 0) != 0)
            return;
    }
    if (m_pid > 0)
        ::kill(static_cast<pid_t>(m_pid), SIGKILL);
}

QString PrivatePulse::pactl(const QStringList& args) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start("pactl", args);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    // An empty answer is still an answer.
    return output.isNull() ? QStringLiteral("") : output;
}

bool PrivatePulse::useSineMicrophone(int hz) const
{
    // "mic" records what plays into "linein": a sine played there is the microphone's voice.
    return !pactl({"load-module", "module-sine", "sink=linein", "frequency=" + QString::number(hz)}).isNull();
}

bool PrivatePulse::removeMicrophones() const
{
    bool ok = true;
    for (const char* module : {"module-sine", "module-remap-source"}) {
        const QString list = pactl({"list", "short", "modules"});
        for (const QString& line : list.split('\n'))
            if (line.section('\t', 1, 1) == module)
                ok = !pactl({"unload-module", line.section('\t', 0, 0)}).isNull() && ok;
    }
    return ok;
}

PulseCapture::PulseCapture(const PrivatePulse& pulse, const QString& source)
    : m_path(pulse.folder() + "/capture-" + QString(source).replace('.', '-') + ".raw"),
      m_process(std::make_unique<QProcess>())
{
    m_process->setProcessEnvironment(pulse.environment());
    m_process->setStandardOutputFile(m_path);
    m_process->start("parec", {"-d", source, "--raw", "--format=s16le", "--rate=8000", "--channels=1",
                               "--latency-msec=20"});
    m_process->waitForStarted(5000);
}

PulseCapture::~PulseCapture()
{
    m_process->terminate();
    if (!m_process->waitForFinished(3000))
        m_process->kill();
    m_process->waitForFinished(3000);
}

std::vector<int16_t> PulseCapture::samples() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> out(size_t(bytes.size()) / 2);
    if (!out.empty())
        std::memcpy(out.data(), bytes.constData(), out.size() * 2);
    return out;
}

QProcessEnvironment PrivatePulse::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString dir = m_dir.path();
    env.insert("HOME", dir);
    env.insert("XDG_RUNTIME_DIR", dir + "/runtime");
    env.insert("XDG_CONFIG_HOME", dir + "/config");
    env.insert("PULSE_SERVER", "unix:" + dir + "/native");
    env.insert("PULSE_CLIENTCONFIG", dir + "/client.conf");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    return env;
}

} // namespace kalvo::test
