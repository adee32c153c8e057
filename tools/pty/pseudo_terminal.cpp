#include "pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() : PseudoTerminal(PseudoTerminalOptions{}) {}

PseudoTerminal::PseudoTerminal(const PseudoTerminalOptions& options) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        fail("creating a pseudo-terminal");
    try {
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            fail("unlocking the pseudo-terminal");
        char name[256];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            fail("naming the pseudo-terminal");
        devicePath_ = name;
        if (options.keepDeviceSide) {
            deviceSide_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (deviceSide_ < 0)
                fail("opening the device side");
        }
        if (options.raw) {
            // The master's attributes are the device side's: setting them on either is the same.
            termios attributes{};
            if (::tcgetattr(master_, &attributes) != 0)
                fail("reading the attributes of the device side");
            ::cfmakeraw(&attributes);
            if (::tcsetattr(master_, TCSANOW, &attributes) != 0)
                fail("setting the attributes of the device side");
        }
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            fail("making the pseudo-terminal non-blocking");
    } catch (...) {
        closeDeviceSide();
        closeMaster();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    closeDeviceSide();
    closeMaster();
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PseudoTerminal::closeDeviceSide() {
    if (deviceSide_ >= 0)
        ::close(deviceSide_);
    deviceSide_ = -1;
}
