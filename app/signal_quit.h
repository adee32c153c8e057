#pragma once

#include <QObject>

#include <array>

#include <signal.h>

class QSocketNotifier;
namespace port {
class PortControl;
}

namespace app {

// Ends the program in order on SIGTERM, SIGINT and SIGHUP. The signal handler only writes the
// signal's number to a pipe; the user-interface thread reads it, closes the port at once (no wait
// for unsent output: the device gets its settings back and the lock is released) and leaves the
// event loop with 128 plus the signal's number, as a shell reports a program ended by a signal.
// The window's close handler does not run, so nothing can keep the program open.
//
// A signal that was ignored when the program started (nohup) stays ignored. SIGPIPE is ignored
// while the object lives: a write to a pipe or socket whose reader has gone fails with EPIPE,
// which the writer reports like any other failed write, instead of ending the program with the
// device left in the program's settings. One object at a time per process; its destructor puts
// the previous handlers back.
class SignalQuit : public QObject {
public:
    explicit SignalQuit(port::PortControl& port, QObject* parent = nullptr);
    ~SignalQuit() override;
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

    static constexpr std::array<int, 3> Signals{SIGTERM, SIGINT, SIGHUP};

    // The signal that ended the program; 0 while none has.
    int received() const { return received_; }

private:
    void readSignal();

    port::PortControl& port_;
    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, Signals.size()> previous_{};
    std::array<bool, Signals.size()> installed_{};
    struct sigaction previousPipe_ {};
    bool pipeIgnored_ = false;
    int received_ = 0;
};

} // namespace app
