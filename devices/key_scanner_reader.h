#pragma once

#include "base/clock.h"
#include "base/unique_fd.h"
#include "devices/key_translator.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string_view>

class QSocketNotifier;

namespace devices {

// Reads a scanner in keyboard mode from its input event node: each key press becomes the text
// it types on the layout the scanner types for, with the time the kernel gave the key (on the
// monotonic clock). With the keys caught (setCaught), they come to this program only, not to the
// window that has the focus; the kernel lets them go when the node is closed, however the
// program ends.
class KeyScannerReader final : public QObject {
    Q_OBJECT

public:
    // Reads `fd` from now on (an event node; in tests, a pipe the test writes input events to).
    // A key time that is no recent reading of `clock` (a device that keeps another clock) is
    // taken as the time the key was read.
    explicit KeyScannerReader(base::UniqueFd fd, std::string_view layout = "us",
                              base::MonotonicClock clock = base::monotonicMs,
                              QObject* parent = nullptr);
    // Kernel times older than this are another clock's.
    static constexpr qint64 LatestKeyAgeMs = 10'000;
    ~KeyScannerReader() override;

    // Opens `node` to read, without waiting; null with the errno when it cannot (EACCES: the
    // person may not read it).
    static std::unique_ptr<KeyScannerReader> open(const QString& node, std::string_view layout,
                                                  int& error);

    // Catches the keys (only this program gets them) or lets them go; false when the kernel
    // refused (another program caught them first).
    bool setCaught(bool caught);
    bool caught() const { return caught_; }

    // Reads the keys by another layout from the next key on.
    void setLayout(std::string_view layout);
    const std::string& layout() const { return translator_->layout(); }

signals:
    // One key's text ("\r" for Enter, "\t" for Tab) and the time it was pressed.
    void keyTyped(const QString& text, qint64 monotonicMs);
    // Keys were lost in the kernel's buffer (it dropped some): the scan under way is not whole.
    void keysLost();
    // The node went away (the scanner was unplugged); nothing more is read.
    void ended();

private:
    void readEvents();

    base::UniqueFd fd_;
    std::unique_ptr<KeyTranslator> translator_;
    base::MonotonicClock clock_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool caught_ = false;
    bool dropping_ = false;
};

} // namespace devices
