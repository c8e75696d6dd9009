// A Wayland compositor for tests: weston with its headless back-end and the CPU renderer, on a
// private runtime folder, with screenshots through weston-screenshooter.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace kalvo::test {

class HeadlessWeston
{
public:
    // Starts weston and waits for its socket.
    HeadlessWeston();
    ~HeadlessWeston();
    HeadlessWeston(const HeadlessWeston&) = delete;
    HeadlessWeston& operator=(const HeadlessWeston&) = delete;

    // @return what is wrong, or an empty text.
    QString problem() const { return m_problem; }
    // WAYLAND_DISPLAY and XDG_RUNTIME_DIR of the compositor added to env, with Qt's Wayland platform.
    QProcessEnvironment clientEnvironment(QProcessEnvironment env) const;
    // Takes a screenshot of the whole output into pngPath. @return false when none was made.
    bool screenshot(const QString& pngPath) const;
    // The compositor's log.
    QString log() const;

private:
    QTemporaryDir m_dir;
    QString m_problem;
    QString m_socket = QStringLiteral("kalvo-test");
    QProcess m_weston;
};

} // namespace kalvo::test
