#include "open_window.h"

#include "display_tracker.h"
#include "fake_prompts.h"

#include "base/clock.h"
#include "main_window/form1.h"
#include "port/port_control.h"
#include "port/termios_port.h"
#include "scan_log/window/recorder.h"
#include "scan_log/window/scan_log_texts.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWindow>

#include <stdexcept>

using namespace main_window;
using namespace port;
using namespace ui;

namespace bench {

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace {

bool runLoopUntil(const std::function<bool()>& done, const DisplayTracker* tracker, int timeoutMs,
                  int pollMs) {
    if (done())
        return true;
    QEventLoop loop;
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    QTimer poll;
    if (pollMs > 0) {
        QObject::connect(&poll, &QTimer::timeout, &loop, check);
        poll.start(pollMs);
    }
    QMetaObject::Connection progress;
    if (tracker != nullptr)
        progress = QObject::connect(tracker, &DisplayTracker::progress, &loop, check);
    loop.exec();
    QObject::disconnect(progress);
    return done();
}

} // namespace

bool runUntil(const std::function<bool()>& done, const DisplayTracker& tracker, int timeoutMs,
              int pollMs) {
    return runLoopUntil(done, &tracker, timeoutMs, pollMs);
}

bool pollUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
    return runLoopUntil(done, nullptr, timeoutMs, pollMs);
}

OpenWindow::OpenWindow() {
    // COM1 opens the device named by LINNET_COM1.
    qputenv("LINNET_COM1", device_.devicePath().toLocal8Bit());
    // Every message box is answered OK and noted, so that a prompt the bench did not expect (an
    // overflow, a lost device) shows up in its report.
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    form_ = std::make_unique<Form1>(std::make_unique<port::TermiosPort>(), std::move(prompts),
                                    base::monotonicMs, echoEnabled_);
    form_->show();
    // LINNET_BENCH_SCAN_LOG=1 measures with the Scan Log window open beside the main window.
    if (qEnvironmentVariableIntValue("LINNET_BENCH_SCAN_LOG") == 1)
        form_->MScanLog_Click();
    // LINNET_BENCH_RECORD=FILE records what arrives to FILE while measuring: the raw bytes when
    // its name ends in .bin, a transcript otherwise.
    if (const QString path = qEnvironmentVariable("LINNET_BENCH_RECORD"); !path.isEmpty()) {
        const bool raw = QFileInfo(path).suffix() == QLatin1String("bin");
        if (const auto started = form_->recorder().start(
                path, raw ? scan_log::Recorder::Kind::Raw : scan_log::Recorder::Kind::Transcript);
            !started)
            throw std::runtime_error(scan_log::recordNotStartedText(started.error()).toStdString());
    }
    pollUntil([this] { return form_->windowHandle() && form_->windowHandle()->isExposed(); }, 5000,
              10);
    // Let the first frames and the window's start-up work settle.
    runFor(200);
    form_->MOpen_Click();
    if (!form_->MSComm1().PortOpen())
        throw std::runtime_error("the port did not open: " +
                                 this->prompts().join(QStringLiteral(" / ")).toStdString());
    prompts_->calls.clear();
    runFor(100);
}

OpenWindow::~OpenWindow() {
    // The window closes the port before the device goes away, as on an orderly exit.
    device_.stop();
    form_.reset();
}

QStringList OpenWindow::prompts() const {
    QStringList texts;
    for (const FakePrompts::Call& message : prompts_->messages())
        texts.append(message.text);
    return texts;
}

} // namespace bench
