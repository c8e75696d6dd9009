// Small helpers shared by the tests.
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdlib>

namespace kalvo::test {

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value) : m_name(name)
{
    if (const char* old = std::getenv(name))
        m_old = QByteArray(old);
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        qputenv(m_name.constData(), *m_old);
    else
        qunsetenv(m_name.constData());
}

static QByteArray inside(const QTemporaryDir& dir, const char* child)
{
    QDir().mkpath(dir.path() + "/" + child);
    return QFile::encodeName(dir.path() + "/" + child);
}

IsolatedHome::IsolatedHome()
    : m_home("KALVO_HOME", inside(m_dir, "home")),
      m_registry("KALVO_REGISTRY_DIR", inside(m_dir, "registry")),
      m_config("XDG_CONFIG_HOME", inside(m_dir, "config")),
      m_runtime("XDG_RUNTIME_DIR", inside(m_dir, "runtime")),
      m_telephony("KALVO_TELEPHONY_CONF", inside(m_dir, "config") + "/kalvo/telephony.conf")
{
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Members initialise in declaration order, so the folder exists before the first inside().
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
}

QString binaryPath(const QString& name)
{
    return QString::fromUtf8(KALVO_TEST_BIN_DIR) + "/" + name;
}

void startProgram(QProcess& process, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(binaryPath("kalvo"), arguments);
}

bool programLogHas(const QString& programFolder, const QString& pattern, const QString& text)
{
    for (const QString& name : QDir(programFolder + "/Log").entryList({pattern}, QDir::Files)) {
        QFile log(programFolder + "/Log/" + name);
        if (log.open(QIODevice::ReadOnly) && QString::fromUtf8(log.readAll()).contains(text))
            return true;
    }
    return false;
}

QString sourcePath(const QString& relative)
{
    return QString::fromUtf8(KALVO_TEST_SOURCE_DIR) + "/" + relative;
}

} // namespace kalvo::test
