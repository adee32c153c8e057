#include "test_codes/window/tally_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

namespace test_codes {

namespace {

// The icons of the table's results, and none for codes not scanned yet.
constexpr std::array Icons{QStyle::SP_DialogApplyButton, QStyle::SP_MessageBoxWarning,
                           QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxQuestion};

} // namespace

TallyView::TallyView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TestCodesTally"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        parts_[i].icon = new QLabel(this);
        parts_[i].icon->setPixmap(style()->standardIcon(Icons[i]).pixmap(size, size));
        parts_[i].words = new QLabel(this);
        parts_[i].words->setTextFormat(Qt::PlainText);
        layout->addWidget(parts_[i].icon);
        layout->addWidget(parts_[i].words);
        layout->addSpacing(size);
    }
    layout->addStretch();
    showTally(Tally{});
}

void TallyView::showTally(const Tally& tally) {
    const std::array numbers{tally.passed, tally.withDifferences, tally.failed, tally.notScanned};
    static constexpr std::array Words{"passed", "with differences", "failed", "not scanned"};
    QStringList said;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const QString part = QStringLiteral("%1 %2").arg(numbers[i]).arg(QLatin1String(Words[i]));
        parts_[i].words->setText(part);
        said << part;
    }
    text_ = said.join(QStringLiteral(", "));
    setAccessibleName(text_);
    setToolTip(QStringLiteral("The latest result of each of the test codes"));
}

QString TallyView::text() const {
    return text_;
}

} // namespace test_codes
