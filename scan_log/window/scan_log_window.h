#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLayout;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTableView;
namespace ui {
class FileChooser;
class Prompts;
} // namespace ui

namespace scan_log {

class ScanCollector;
class ScanPictures;

// The Scan Log: every scan as a row with what it means, the figures above, and Clear, Copy and
// Save As CSV. A window of its own that does not block the main window; closing it only hides
// it, and the log goes on filling.
class ScanLogWindow final : public QWidget {
    Q_OBJECT

public:
    // A failure (a CSV file that could not be written) is shown through `prompts`.
    ScanLogWindow(ScanCollector& log, ui::FileChooser& files, ui::Prompts& prompts,
                  QWidget* parent = nullptr);

    QTableView& table() const { return *table_; }
    ScanPictures& pictures() const { return *pictures_; }

    // Selects `row` and brings it into sight (a timeline mark was clicked).
    void showRow(int row);

    void clearLog();
    // The selected rows as tab-separated text, on the clipboard.
    void copySelection();
    // Asks for a file and writes every kept row to it.
    void saveCsv();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLayout* buildFigures();
    void buildTable();
    QLayout* buildButtons();
    void showFigures();
    void rowsAboutToArrive();
    void rowsArrived();
    // Screen readers hear of new rows (the table view tells them of none).
    void tellRowsArrived(int first, int last);

    ScanCollector& log_;
    ui::FileChooser& files_;
    ui::Prompts& prompts_;
    QTableView* table_ = nullptr;
    ScanPictures* pictures_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QCheckBox* showPictures_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* rate_ = nullptr;
    QLabel* shortest_ = nullptr;
    QLabel* longest_ = nullptr;
    QLabel* problems_ = nullptr;
    QLabel* dropped_ = nullptr;
    QLabel* silenceLabel_ = nullptr;
    QSpinBox* silence_ = nullptr;
    bool followEnd_ = true;
};

} // namespace scan_log
