// weston --backend=headless-backend.so for the Wayland tests.
#include "HeadlessWeston.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kalvo::test {

HeadlessWeston::HeadlessWeston()
{
    QDir(m_dir.path()).mkdir("runtime");
    const QString runtime = m_dir.path() + "/runtime";
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.remove("WAYLAND_DISPLAY");
    env.remove("DISPLAY");
    m_weston.setProcessEnvironment(env);
    m_weston.setProcessChannelMode(QProcess::MergedChannels);
    m_weston.setStandardOutputFile(m_dir.path() + "/weston.log");
    // --debug lets weston-screenshooter take its pictures; pixman renders without a GPU.
    m_weston.start("weston", {"--backend=headless-backend.so", "--use-pixman", "--width=1024", "--height=768",
                              "--socket=" + m_socket, "--no-config", "--idle-time=0", "--debug"});
    if (!m_weston.waitForStarted() ||
        !waitUntil([&] { return QFileInfo::exists(runtime + "/" + m_socket); }, 15000))
        m_problem = "weston did not start: " + log();
}

HeadlessWeston::~HeadlessWeston()
{
    if (m_weston.state() == QProcess::NotRunning)
        return;
    m_weston.terminate();
    if (!m_weston.waitForFinished(5000)) {
        m_weston.kill();
        m_weston.waitForFinished();
    }
}

QProcessEnvironment HeadlessWeston::clientEnvironment(QProcessEnvironment env) const
{
    env.insert("XDG_RUNTIME_DIR", m_dir.path() + "/runtime");
    env.insert("WAYLAND_DISPLAY", m_socket);
    env.insert("QT_QPA_PLATFORM", "wayland");
    env.remove("DISPLAY");
    return env;
}

bool HeadlessWeston::screenshot(const QString& pngPath) const
{
    const QString folder = m_dir.path() + "/shots";
    QDir().mkpath(folder);
    QProcess shooter;
    shooter.setWorkingDirectory(folder);
    shooter.setProcessEnvironment(clientEnvironment(QProcessEnvironment::systemEnvironment()));
    shooter.start("weston-screenshooter", {});
    if (!shooter.waitForFinished(20000) || shooter.exitCode() != 0)
        return false;
    const QFileInfoList shots = QDir(folder).entryInfoList({"*.png"}, QDir::Files, QDir::Time);
    if (shots.isEmpty())
        return false;
    QFile::remove(pngPath);
    return QFile::copy(shots.first().absoluteFilePath(), pngPath);
}

QString HeadlessWeston::log() const
{
    QFile file(m_dir.path() + "/weston.log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace kalvo::test
