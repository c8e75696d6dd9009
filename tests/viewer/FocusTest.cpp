// On a private X server: the caller viewer shows over another window without taking the keyboard
// from the line edit the user is typing in.
#include "TimeBase.h"
#include "frmMSG.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class FocusTest : public QObject
{
    Q_OBJECT

private slots:
    // The typing window keeps the focus window and the focused widget after the viewer shows, and
    // keys typed afterwards still reach the line edit.
    void viewerDoesNotTakeFocus()
    {
        QWidget editor;
        editor.setWindowTitle("Editor");
        auto* edit = new QLineEdit(&editor);
        (new QVBoxLayout(&editor))->addWidget(edit);
        editor.resize(300, 80);
        editor.show();
        editor.activateWindow();
        edit->setFocus();
        if (!QTest::qWaitForWindowActive(&editor, 3000))
            QSKIP("the X server gave the first window no focus; without it there is nothing to keep");
        QTest::keyClicks(edit, "ab");

        frmMSG viewer(TimeBase::real());
        viewer.ViewCallViewer(false, 0, 0, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&viewer, 3000));
        QTest::qWait(300);
        QCOMPARE(QGuiApplication::focusWindow(), editor.windowHandle());
        QCOMPARE(QApplication::focusWidget(), edit);
        QVERIFY(!viewer.isActiveWindow());
        QTest::keyClicks(QApplication::focusWidget(), "c");
        QCOMPARE(edit->text(), QString("abc"));
    }
};

namespace {
// Starts Xvfb on the first free display from :57 on; returns its pid (0 when none started).
pid_t startXvfb(int* display)
{
    for (int number = 57; number < 90; ++number) {
        const QString socket = QString("/tmp/.X11-unix/X%1").arg(number);
        if (QFile::exists(socket) || QFile::exists(QString("/tmp/.X%1-lock").arg(number)))
            continue;
        const pid_t pid = fork();
        if (pid == 0) {
            // The server must not outlive the test, nor hold the test's output open.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            const std::string name = ":" + std::to_string(number);
            execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-nolisten", "tcp", "-screen", "0", "1024x768x24",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int waited = 0; waited < 100; ++waited) {
            if (QFile::exists(socket)) {
                *display = number;
                return pid;
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                break; // lost the race for this display; try the next
            usleep(50000);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    // libxkbcommon-x11 hands strndup buffers that are not NUL-terminated, which is allowed but
    // trips AddressSanitizer's strict string checks; run once more without them.
    const QByteArray asan = qgetenv("ASAN_OPTIONS");
    if (asan.contains("strict_string_checks=1") && !asan.contains("strict_string_checks=0")) {
        qputenv("ASAN_OPTIONS", asan + ":strict_string_checks=0");
        execv("/proc/self/exe", argv);
    }
    int display = 0;
    const pid_t xvfb = startXvfb(&display);
    if (xvfb == 0) {
        fprintf(stderr, "FocusTest: could not start Xvfb\n");
        return 1;
    }
    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication app(argc, argv);
        FocusTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return result;
}

#include "FocusTest.moc"
