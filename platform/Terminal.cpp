#include "platform/Terminal.h"

#include <cstdio>
#include <string>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace tavix::terminal {

bool interactive() {
#ifdef Q_OS_UNIX
    return ::isatty(STDIN_FILENO) == 1;
#else
    return false;
#endif
}

std::optional<QString> ask(const QString& prompt, bool hidden) {
    const QByteArray text = prompt.toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
#ifdef Q_OS_UNIX
    termios saved{};
    const bool echoOff = hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
#endif
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(char(c));
    }
#ifdef Q_OS_UNIX
    if (echoOff) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
#endif
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return QString::fromUtf8(line.data(), qsizetype(line.size()));
}

}  // namespace tavix::terminal
