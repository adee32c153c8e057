#include "app/signal_quit.h"

#include "port/port_control.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace app {

namespace {

// The pipe's write end: a signal handler can reach nothing but static data, so this one
// descriptor is kept here. -1 while no SignalQuit exists.
volatile sig_atomic_t wakeFd = -1;

extern "C" void onQuitSignal(int signal) {
    // Only async-signal-safe calls here; errno is the interrupted code's.
    const int savedErrno = errno;
    const int fd = wakeFd;
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a signal for the reader; this one may be dropped.
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = savedErrno;
}

} // namespace

SignalQuit::SignalQuit(port::PortControl& port, QObject* parent) : QObject(parent), port_(port) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    pipeIgnored_ = ::sigaction(SIGPIPE, &ignore, &previousPipe_) == 0;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action: the program ends as before
    readFd_ = fds[0];
    wakeFd = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalQuit::readSignal);

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume, so no code elsewhere sees EINTR because of this.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < Signals.size(); ++i) {
        struct sigaction current {};
        if (::sigaction(Signals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        installed_[i] = ::sigaction(Signals[i], &action, &previous_[i]) == 0;
    }
}

SignalQuit::~SignalQuit() {
    for (std::size_t i = 0; i < Signals.size(); ++i)
        if (installed_[i])
            ::sigaction(Signals[i], &previous_[i], nullptr);
    if (pipeIgnored_)
        ::sigaction(SIGPIPE, &previousPipe_, nullptr);
    const int writeFd = wakeFd;
    wakeFd = -1;
    if (writeFd >= 0)
        ::close(writeFd);
    if (readFd_ >= 0)
        ::close(readFd_);
}

void SignalQuit::readSignal() {
    unsigned char number = 0;
    const ssize_t count = ::read(readFd_, &number, 1);
    if (count != 1 || received_ != 0)
        return;
    received_ = number;
    // Nothing more to read for: the program is ending.
    notifier_->setEnabled(false);
    try {
        if (port_.PortOpen())
            port_.setPortOpen(false);
    } catch (...) {
        // A port that cannot be closed is closed by the exit itself; the exit hook of the port
        // layer puts the device's settings back.
    }
    // exit(), not quit(): quit() would ask the windows to close, and the main window's close waits
    // for unsent output and may ask the user. exit() also ends the loops of open prompts.
    QCoreApplication::exit(128 + received_);
}

} // namespace app
