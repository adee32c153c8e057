#pragma once

#include "scan_log/decode/scan_splitter.h"
#include "test_codes/rules/setup_summary.h"

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class ElidedLabel;
class Prompts;
class QLabel;
class QTableWidget;

namespace scan_log {
class FileChooser;
}

namespace test_codes {

class SymbolView;

// A scan as the log measured it.
struct ReceivedScan {
    std::string bytes; // without the terminator
    scan_log::Terminator terminator = scan_log::Terminator::None;
    std::optional<long long> gapMs;
    long long durationMs = 0;
};

// Shows the test codes large, one at a time, judges every scan against them and says what the
// scanner appears to be set to. The person picks a code in the table (or lets a passing scan
// move on to the next) and scans it from the screen or from the printed sheet.
class TestCodesWindow final : public QWidget {
    Q_OBJECT

public:
    TestCodesWindow(scan_log::FileChooser& files, Prompts& prompts, QWidget* parent = nullptr);
    ~TestCodesWindow() override;

    void takeScan(const ReceivedScan& scan);

    // The code whose symbol is shown, an index into testCodes().
    std::optional<std::size_t> shownCode() const;

private:
    void buildTable();
    QWidget* buildSide();
    QWidget* buildButtons();
    void showCode(int row);
    void showVerdict(std::size_t code, const Verdict& verdict);
    void clearResults();
    void showSummary(const QString& text);
    void saveCsv();
    void saveReport();
    void saveSheet();
    void printSheet();
    QString askFile(const QString& caption, const QString& name, const QString& filter);

    scan_log::FileChooser& files_;
    Prompts& prompts_;
    QTableWidget* table_ = nullptr;
    SymbolView* symbol_ = nullptr;
    ElidedLabel* shownName_ = nullptr;
    ElidedLabel* lastScan_ = nullptr;
    QLabel* summary_ = nullptr;
    std::vector<JudgedScan> judged_;
};

} // namespace test_codes
