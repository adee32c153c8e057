#include "devices/key_scanner_reader.h"

#include "devices/device_node.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <ctime>

#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace devices {

namespace {

// Events read in one go; the rest come with the next wake-up.
constexpr std::size_t EventsPerRead = 64;
constexpr int PressValue = 1;
constexpr int ReleaseValue = 0;

} // namespace

KeyScannerReader::KeyScannerReader(base::UniqueFd fd, std::string_view layout,
                                   base::MonotonicClock clock, QObject* parent)
    : QObject(parent), fd_(std::move(fd)), translator_(std::make_unique<KeyTranslator>(layout)),
      clock_(std::move(clock)),
      notifier_(std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read)) {
    readWithoutWaiting(fd_.get());
    // Event times on the monotonic clock, as the program measures time (an event node only;
    // a descriptor that is none keeps what it sends).
    int clockId = CLOCK_MONOTONIC;
    ::ioctl(fd_.get(), EVIOCSCLOCKID, &clockId);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &KeyScannerReader::readEvents);
}

KeyScannerReader::~KeyScannerReader() {
    if (caught_)
        setCaught(false);
}

std::unique_ptr<KeyScannerReader> KeyScannerReader::open(const QString& node,
                                                         std::string_view layout, int& error) {
    base::UniqueFd fd = openNodeToRead(node, error);
    if (fd.get() < 0)
        return nullptr;
    return std::make_unique<KeyScannerReader>(std::move(fd), layout);
}

void KeyScannerReader::setLayout(std::string_view layout) {
    if (layout != translator_->layout())
        translator_ = std::make_unique<KeyTranslator>(layout);
}

bool KeyScannerReader::setCaught(bool caught) {
    if (::ioctl(fd_.get(), EVIOCGRAB, caught ? 1 : 0) != 0)
        return false;
    caught_ = caught;
    return true;
}

void KeyScannerReader::readEvents() {
    std::array<input_event, EventsPerRead> events;
    const ssize_t size = ::read(fd_.get(), events.data(), sizeof events);
    if (size < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (size <= 0) {
        notifier_->setEnabled(false);
        emit ended();
        return;
    }
    const std::size_t count = std::size_t(size) / sizeof(input_event);
    const qint64 now = clock_();
    for (std::size_t i = 0; i < count; ++i) {
        const input_event& event = events[i];
        if (event.type == EV_SYN && event.code == SYN_DROPPED) {
            // The kernel dropped events up to the next report: those keys are lost.
            dropping_ = true;
            emit keysLost();
            continue;
        }
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            dropping_ = false;
            continue;
        }
        if (dropping_ || event.type != EV_KEY ||
            (event.value != PressValue && event.value != ReleaseValue))
            continue;
        const std::string text = translator_->key(event.code, event.value == PressValue);
        if (text.empty())
            continue;
        const qint64 kernelMs =
            qint64(event.input_event_sec) * 1000 + event.input_event_usec / 1000;
        const bool recent = kernelMs <= now && now - kernelMs <= LatestKeyAgeMs;
        emit keyTyped(QString::fromStdString(text), recent ? kernelMs : now);
    }
}

} // namespace devices
