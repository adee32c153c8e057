#pragma once

#include "test_codes/model/setup_summary.h"

#include <QWidget>

#include <array>

class QLabel;

namespace test_codes {

// How the codes stand, always in sight above the summary: passed, with differences, failed and
// not scanned, each a number with its word and the icon its results have in the table (the word
// is there too: colour and icon are never the only sign). A screen reader reads the whole line
// as the widget's name.
class TallyView final : public QWidget {
    Q_OBJECT

public:
    explicit TallyView(QWidget* parent = nullptr);

    void showTally(const Tally& tally);
    // "15 passed, 3 with differences, 0 failed, 0 not scanned".
    QString text() const;

private:
    struct Part {
        QLabel* icon = nullptr;
        QLabel* words = nullptr;
    };
    std::array<Part, 4> parts_;
    QString text_;
};

} // namespace test_codes
