#include "devices/hid_scan_reader.h"

#include "devices/device_node.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>

#include <unistd.h>

namespace devices {

namespace {

// A HID report is at most this long; a longer read is cut by the kernel, never overrun.
constexpr std::size_t MaxReportBytes = 4096;
// Reports taken in one go before the event loop gets its turn.
constexpr int MaxReportsPerWake = 64;

} // namespace

HidScanReader::HidScanReader(base::UniqueFd fd, std::vector<ScanReportLayout> layouts,
                             base::MonotonicClock clock, QObject* parent)
    : QObject(parent), fd_(std::move(fd)), layouts_(std::move(layouts)), clock_(std::move(clock)),
      notifier_(std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read)) {
    // Read without waiting, whatever the descriptor was opened with: the window must not stop.
    readWithoutWaiting(fd_.get());
    connect(notifier_.get(), &QSocketNotifier::activated, this, &HidScanReader::readReports);
}

HidScanReader::~HidScanReader() = default;

std::unique_ptr<HidScanReader>
HidScanReader::open(const QString& node, std::vector<ScanReportLayout> layouts, int& error) {
    base::UniqueFd fd = openNodeToRead(node, error);
    if (fd.get() < 0)
        return nullptr;
    return std::make_unique<HidScanReader>(std::move(fd), std::move(layouts));
}

void HidScanReader::readReports() {
    std::array<std::uint8_t, MaxReportBytes> report;
    for (int i = 0; i < MaxReportsPerWake; ++i) {
        const ssize_t size = ::read(fd_.get(), report.data(), report.size());
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0 && errno == EAGAIN)
            return;
        if (size <= 0) {
            // Unplugged (ENODEV) or the other end closed: no more reports will come.
            notifier_->setEnabled(false);
            emit ended();
            return;
        }
        const qint64 ms = clock_();
        const auto piece = readScanReport(
            layouts_, std::span<const std::uint8_t>(report.data(), std::size_t(size)));
        if (!piece)
            continue;
        if (!joiner_.pending())
            firstMs_ = ms;
        if (const auto scan = joiner_.feed(*piece))
            emit scanned(QByteArray(scan->bytes.data(), qsizetype(scan->bytes.size())), firstMs_,
                         ms, scan->cut);
    }
}

} // namespace devices
