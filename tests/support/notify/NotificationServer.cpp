// dbus-daemon, Xvfb and dunst for the notification tests.
#include "NotificationServer.h"

#include <QDir>
#include <QFile>
#include <QThread>

namespace kalvo::test {
namespace {
void writeFile(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void finish(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}
} // namespace

NotificationServer::NotificationServer()
{
    const QString dir = m_dir.path();
    // No service folders: nothing answers for the notification service until dunst runs.
    writeFile(dir + "/bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>unix:dir=" +
                  dir.toUtf8() +
                  "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                  "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    m_bus.start("dbus-daemon", {"--config-file=" + dir + "/bus.conf", "--nofork", "--print-address"});
    if (!m_bus.waitForReadyRead(10000)) {
        m_problem = "dbus-daemon did not start";
        return;
    }
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    m_busEnv = std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
    // Xvfb picks a free display and tells its number on the descriptor given.
    m_x.setProcessChannelMode(QProcess::SeparateChannels);
    m_x.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!m_x.waitForReadyRead(10000)) {
        m_problem = "Xvfb did not start";
        return;
    }
    m_display = ":" + QString::fromUtf8(m_x.readLine()).trimmed();
    // The menu hook picks the entry whose label is in choice; the script hook records each one shown.
    writeFile(dir + "/pick.sh", "#!/bin/sh\ngrep -F -m1 \"#$(cat '" + dir.toUtf8() + "/choice') (\"\n", true);
    writeFile(dir + "/record.sh",
              "#!/bin/sh\nprintf '%s\\037%s\\037%s\\037%s\\037%s\\036' \"$DUNST_ID\" \"$2\" \"$3\" \"$5\" "
              "\"$DUNST_TIMEOUT\" >> '" +
                  dir.toUtf8() + "/shown'\n",
              true);
    writeFile(dir + "/dunstrc", "[global]\ndmenu = " + dir.toUtf8() +
                                    "/pick.sh\n[record]\nsummary = \"*\"\n" + "script = " + dir.toUtf8() +
                                    "/record.sh\n");
}

NotificationServer::~NotificationServer()
{
    finish(m_dunst);
    finish(m_x);
    finish(m_bus);
}

bool NotificationServer::start()
{
    if (!m_problem.isEmpty())
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    m_dunst.setProcessEnvironment(env);
    m_dunst.setProcessChannelMode(QProcess::MergedChannels);
    m_dunst.setStandardOutputFile(m_dir.path() + "/dunst.log");
    m_dunst.start("dunst", {"-config", m_dir.path() + "/dunstrc"});
    // A loaded machine can take a while to bring dunst onto the bus and the X server.
    return m_dunst.waitForStarted() &&
           waitUntil([this] { return !dunstctl({"is-paused"}).isEmpty(); }, 30000);
}

void NotificationServer::stop()
{
    finish(m_dunst);
}

QString NotificationServer::dunstctl(const QStringList& arguments, bool* ok) const
{
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    ctl.setProcessEnvironment(env);
    ctl.start("dunstctl", arguments);
    const bool ran = ctl.waitForFinished(10000) && ctl.exitCode() == 0;
    if (ctl.state() != QProcess::NotRunning) {
        ctl.kill();
        ctl.waitForFinished();
    }
    if (ok)
        *ok = ran;
    if (!ran)
        return {};
    return QString::fromUtf8(ctl.readAllStandardOutput()).trimmed();
}

bool NotificationServer::choose(const QString& label)
{
    writeFile(m_dir.path() + "/choice", label.toUtf8());
    bool ok = false;
    dunstctl({"context"}, &ok);
    return ok;
}

QList<NotificationServer::Shown> NotificationServer::shown() const
{
    QFile file(m_dir.path() + "/shown");
    QList<Shown> all;
    if (!file.open(QIODevice::ReadOnly))
        return all;
    for (const QString& record : QString::fromUtf8(file.readAll()).split(QChar(0x1e), Qt::SkipEmptyParts)) {
        const QStringList fields = record.split(QChar(0x1f));
        if (fields.size() == 5)
            all.append({fields[0].toUInt(), fields[1], fields[2], fields[3], fields[4].toInt()});
    }
    return all;
}

QString NotificationServer::log() const
{
    QFile file(m_dir.path() + "/dunst.log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int NotificationServer::displayed() const
{
    bool ok = false;
    const int count = dunstctl({"count", "displayed"}).toInt(&ok);
    return ok ? count : -1;
}

} // namespace kalvo::test
