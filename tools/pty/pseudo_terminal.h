#pragma once

#include <string>

// How a pseudo-terminal is opened.
struct PseudoTerminalOptions {
    // Keep a descriptor of the device side open for the pseudo-terminal's life. Without one, a
    // read on the master fails and poll reports a hang-up while no program has the device open,
    // and the kernel resets the device's attributes whenever the last program closes it.
    bool keepDeviceSide = true;
    // Put the device side in raw mode. With the default attributes a byte without a newline is
    // never delivered, CR arrives as LF, and input echoes back.
    bool raw = true;
};

// A pseudo-terminal that plays a serial device: a program opens the device side by its path, as
// it would open /dev/ttyUSB0, and whoever holds the master side is the device's far end. The
// tests, the benchmark and the scanner simulator all open their devices here.
//
// The master side is non-blocking; no descriptor is inherited by child processes.
class PseudoTerminal {
public:
    // Throws std::system_error naming the step that failed.
    PseudoTerminal();
    explicit PseudoTerminal(const PseudoTerminalOptions& options);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    // -1 when not kept open, or after closeDeviceSide().
    int deviceSide() const { return deviceSide_; }
    // Such as /dev/pts/3.
    const std::string& devicePath() const { return devicePath_; }

    // To a program that has the device open, the device hangs up.
    void closeMaster();
    void closeDeviceSide();

private:
    int master_ = -1;
    int deviceSide_ = -1;
    std::string devicePath_;
};
