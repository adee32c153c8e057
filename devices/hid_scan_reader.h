#pragma once

#include "base/clock.h"
#include "base/unique_fd.h"
#include "devices/hid_scan_report.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;

namespace devices {

// Reads a point-of-sale scanner's hidraw node: each read is one input report, read as it comes,
// taken apart by the layouts of the scanner's report descriptor, and every whole scan is handed
// on with the times of its first and last report.
class HidScanReader final : public QObject {
    Q_OBJECT

public:
    // Reads `fd` from now on (a hidraw node; in tests, one end of a packet socket pair).
    HidScanReader(base::UniqueFd fd, std::vector<ScanReportLayout> layouts,
                  base::MonotonicClock clock = base::monotonicMs, QObject* parent = nullptr);
    ~HidScanReader() override;

    // Opens `node` to read, without waiting; null with the errno when it cannot (EACCES: the
    // person may not read it).
    static std::unique_ptr<HidScanReader> open(const QString& node,
                                               std::vector<ScanReportLayout> layouts, int& error);

signals:
    // A whole scan: the AIM identifier when the scanner sent one, then the data.
    void scanned(const QByteArray& bytes, qint64 firstMs, qint64 lastMs, bool cut);
    // The node went away (the scanner was unplugged); nothing more is read.
    void ended();

private:
    void readReports();

    base::UniqueFd fd_;
    std::vector<ScanReportLayout> layouts_;
    base::MonotonicClock clock_;
    std::unique_ptr<QSocketNotifier> notifier_;
    ScanReportJoiner joiner_;
    qint64 firstMs_ = 0;
};

} // namespace devices
