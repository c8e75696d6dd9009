// Starting the web page, and setting its password from the command line.
#include "WebStart.h"

#include "CallList.h"
#include "Clock.h"
#include "MessagePlayer.h"
#include "WebAccess.h"
#include "WebPassword.h"
#include "frmMain.h"

#include <termios.h>
#include <unistd.h>

namespace {
int positionOf(CallList& list, qint64 id)
{
    for (int position = 1; position <= list.rowCount(); ++position)
        if (list.idAt(position) == id)
            return position;
    return 0;
}
} // namespace

std::unique_ptr<WebAccess> WebStart::start(frmMain& form)
{
    CallList& list = form.callList();
    MessagePlayer& player = form.player();
    WebCalls::Window window{[&list](qint64 id, bool read) {
                                const int position = positionOf(list, id);
                                if (position)
                                    list.MarkAsReadUnRead(position, read);
                                return position != 0;
                            },
                            [&list, &player](qint64 id) {
                                const int position = positionOf(list, id);
                                if (!position)
                                    return false;
                                player.DeleteItemIndex(position);
                                list.makeList();
                                return true;
                            }};
    auto web = std::make_unique<WebAccess>(form.messages(), form.log(), form.programFolder(), window);
    web->apply(WebAccess::readConfig(), Clock::system());
    return web;
}

int WebStart::setPassword(const QString& programFolder, std::FILE* in, std::FILE* out, std::FILE* err)
{
    const int fd = ::fileno(in);
    termios saved{};
    const bool terminal = ::isatty(fd) && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        std::fprintf(out, "New web password (at least %d characters): ", WebPassword::kShortest);
        std::fflush(out);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    for (int c; (c = std::fgetc(in)) != EOF && c != '\n' && line.size() < 4096;)
        line += char(c);
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fprintf(out, "\n");
    }
    if (line.endsWith('\r'))
        line.chop(1);
    const QString why = WebPassword::store(WebAccess::webFolder(programFolder), line);
    line.fill('\0');
    if (!why.isEmpty()) {
        std::fprintf(err, "kalvo: the web password was not set: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    std::fprintf(out, "The web password is set.\n");
    return 0;
}
