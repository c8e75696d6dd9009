// Small helpers shared by the tests: environment overrides and private folders for Kalvo's files.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;
#include <functional>
#include <memory>
#include <optional>

namespace kalvo::test {

// Sets an environment variable for the lifetime of the object, then restores the old value.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_old;
};

// A private home for one test: KALVO_HOME, KALVO_REGISTRY_DIR, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and
// KALVO_TELEPHONY_CONF all point inside one temporary folder while the object lives.
class IsolatedHome
{
public:
    IsolatedHome();

    QString path() const { return m_dir.path(); }
    QString programFolder() const { return m_dir.path() + "/home"; }
    QString registryDir() const { return m_dir.path() + "/registry"; }
    QString configHome() const { return m_dir.path() + "/config"; }
    QString runtimeDir() const { return m_dir.path() + "/runtime"; }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_home, m_registry, m_config, m_runtime, m_telephony;
};

// A Qt Test class whose every test function runs in a fresh IsolatedHome, m_home.
class IsolatedHomeTest : public QObject
{
    Q_OBJECT

protected slots:
    void init() { m_home = std::make_unique<IsolatedHome>(); }
    void cleanup() { m_home.reset(); }

protected:
    std::unique_ptr<IsolatedHome> m_home;
};

// Runs the event loop until pred holds or timeoutMs passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// Runs the event loop for ms milliseconds, deleting what was scheduled for deletion.
void pump(int ms = 50);

// Path of a built program (kalvo, kalvo-reg, ...) in the build tree.
QString binaryPath(const QString& name);

// Starts the program (kalvo) with arguments in process, on the offscreen platform, its standard
// error forwarded to the test's.
void startProgram(QProcess& process, const QStringList& arguments);
// True when a log in programFolder/Log whose name matches pattern ("*_Sys.txt") contains text.
bool programLogHas(const QString& programFolder, const QString& pattern, const QString& text);

// Path of a file in the source tree.
QString sourcePath(const QString& relative);

} // namespace kalvo::test
