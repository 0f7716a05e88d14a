#include "app/quitsignals.h"

#include <QCoreApplication>
#include <QtGlobal>

#ifdef Q_OS_UNIX

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the event loop; open for the life of the process,
// since a signal may arrive at any moment until it ends.
int signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: a full pipe already holds a pending request to quit.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool MakePipe()
{
    int ends[2];
    if (pipe(ends) != 0)
        return false;
    for (const int fd : ends) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0
            || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
            close(ends[0]);
            close(ends[1]);
            return false;
        }
    }
    signalPipe[0] = ends[0];
    signalPipe[1] = ends[1];
    return true;
}

} // namespace

bool QuitOnTerminationSignals(QCoreApplication& application)
{
    if (signalPipe[0] >= 0)
        return true;
    if (!MakePipe())
        return false;

    // The pipe stays readable once written; the first activation ends every event loop.
    QSocketNotifier* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's quit asks the windows first; a signal to end is not a request they may refuse.
    QObject::connect(notifier, &QSocketNotifier::activated, &application,
                     [] { QCoreApplication::exit(0); });
#else
    // Qt 5's quit is exit(0); activated(int) is the form every Qt 5 has (5.15 adds an overload).
    QObject::connect(notifier, SIGNAL(activated(int)), &application, SLOT(quit()));
#endif

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // One-shot: if ending cleanly hangs, a second signal still ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        struct sigaction previous = {};
        if (sigaction(signalNumber, nullptr, &previous) != 0)
            return false;
        // A signal ignored from the start stays ignored (a background job keeps out of Ctrl+C).
        if (previous.sa_handler == SIG_IGN)
            continue;
        if (sigaction(signalNumber, &action, nullptr) != 0)
            return false;
    }
    return true;
}

#else

bool QuitOnTerminationSignals(QCoreApplication&)
{
    return true;
}

#endif
