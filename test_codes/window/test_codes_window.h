#pragma once

#include "scan_log/model/scan_splitter.h"
#include "test_codes/model/setup_summary.h"

#include <QTimer>
#include <QWidget>

#include <deque>

#include <optional>
#include <string>
#include <vector>

namespace ui {
class ElidedLabel;
}
namespace ui {
class Prompts;
}
class QLabel;
class QTableWidget;

namespace ui {
class FileChooser;
}
namespace scan_log {}

namespace test_codes {

class SymbolView;
class TallyView;

// A scan as the log measured it.
struct ReceivedScan {
    std::string bytes; // without the terminator
    scan_log::Terminator terminator = scan_log::Terminator::None;
    std::optional<long long> gapMs;
    long long durationMs = 0;
    bool typed = false; // typed into the keyboard field (UTF-8 characters), not from a port
};

// Shows the test codes large, one at a time, judges every scan against them and says what the
// scanner appears to be set to. The person picks a code in the table (or lets a passing scan
// move on to the next) and scans it from the screen or from the printed sheet.
class TestCodesWindow final : public QWidget {
    Q_OBJECT

public:
    TestCodesWindow(ui::FileChooser& files, ui::Prompts& prompts, QWidget* parent = nullptr);
    ~TestCodesWindow() override;

    // Takes a scan to be judged. Scans are judged a slice at a time from the event loop, so
    // that a flood of them never holds the window; what waits is bounded in bytes, and scans
    // beyond it are counted as not judged.
    void takeScan(const ReceivedScan& scan);

    // Scans judged at most in one pass of the event loop, and their bytes.
    static constexpr std::size_t SliceScans = 200;
    static constexpr std::size_t SliceBytes = 256 * 1024;
    // Bytes of scans waiting to be judged at most.
    static constexpr std::size_t MaxWaitingBytes = 4 * 1024 * 1024;
    // Scans the summary learns from: the latest ones.
    static constexpr std::size_t MaxJudged = 2000;

    // Scans waiting to be judged, and scans left unjudged since the results were last cleared.
    std::size_t waiting() const { return waiting_.size(); }
    quint64 notJudged() const { return notJudged_; }

    // The code whose symbol is shown, an index into testCodes().
    std::optional<std::size_t> shownCode() const;

    // Whether the scanner's port is open: what the window asks the person to do first.
    void setPortOpen(bool open);

private:
    void buildTable();
    QWidget* buildSide();
    QWidget* buildButtons();
    void showCode(int row);
    void showVerdict(std::size_t code, const Verdict& verdict);
    // The summary, the advice and the tally, as the kept scans have them.
    void showSetup();
    // Judges the next slice of waiting scans and shows where they leave the results.
    void judgeWaiting();
    // Judges one scan; the table's row is shown at once, the rest after the slice.
    void judge(const ReceivedScan& scan);
    void clearResults();
    void showSummary(const QString& text);
    void saveCsv();
    void saveReport();
    void saveSheet();
    void printSheet();
    QString askFile(const QString& caption, const QString& name, const QString& filter);

    ui::FileChooser& files_;
    ui::Prompts& prompts_;
    QTableWidget* table_ = nullptr;
    SymbolView* symbol_ = nullptr;
    ui::ElidedLabel* shownName_ = nullptr;
    ui::ElidedLabel* lastScan_ = nullptr;
    QLabel* summary_ = nullptr;
    std::vector<JudgedScan> judged_;
    // The prefix and suffix the latest passing scans agree on.
    Framing framing_;
    bool portOpen_ = false;
    TallyView* tally_ = nullptr;
    std::deque<ReceivedScan> waiting_;
    std::size_t waitingBytes_ = 0;
    quint64 notJudged_ = 0;
    QTimer judging_;
    // What the last judged scan said, shown after the slice.
    QString lastScanText_;
};

} // namespace test_codes
