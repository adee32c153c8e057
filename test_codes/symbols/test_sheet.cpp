#include "test_codes/symbols/test_sheet.h"

#include "test_codes/symbols/pdf_file.h"

#include "scan_log/decode/visible_bytes.h"
#include "test_codes/rules/test_code.h"
#include "test_codes/symbols/symbol.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextOption>

#include <optional>

namespace test_codes {

namespace {

// Module sizes in millimetres: the usual 1D X-dimension (EAN/UPC at 100 %), and a 2D module
// that phone cameras and imagers read at arm's length. Long codes shrink to fit, never below
// the smallest size common scanners resolve.
constexpr double LinearModuleMm = 0.33;
constexpr double MatrixModuleMm = 0.5;
constexpr double SmallestModuleMm = 0.25;
constexpr double SymbolColumnMm = 110;
constexpr double GapMm = 7;

bool isMatrix(Symbology symbology) {
    switch (symbology) {
    case Symbology::QrCode:
    case Symbology::QrDigitalLink:
    case Symbology::DataMatrix:
    case Symbology::Gs1DataMatrix:
    case Symbology::Aztec:
    case Symbology::MicroQr:
    case Symbology::MaxiCode:
        return true;
    default:
        return false;
    }
}

class SheetPainter {
public:
    explicit SheetPainter(QPagedPaintDevice& device)
        : device_(device), painter_(&device), dotsPerMm_(device.logicalDpiX() / 25.4),
          page_(device.pageLayout().paintRectPixels(device.logicalDpiX())),
          margins_(device.pageLayout().paintRect(QPageLayout::Millimeter).topLeft()) {}

    bool active() const { return painter_.isActive(); }

    void title() {
        QFont font = painter_.font();
        font.setPointSizeF(14);
        font.setBold(true);
        painter_.setFont(font);
        const QString heading = QStringLiteral("Linnet-Test: test codes");
        painter_.drawText(QPointF(0, mm(8)), heading);
        font.setPointSizeF(9);
        font.setBold(false);
        painter_.setFont(font);
        painter_.drawText(QRectF(0, mm(11), page_.width(), mm(12)), Qt::TextWordWrap,
                          QStringLiteral("Open Tools > Test Codes with the scanner's port open and "
                                         "scan each code: every scan is checked against the "
                                         "Content shown beside it (<GS> is byte 1Dh)."));
        y_ = mm(26);
    }

    void code(std::size_t index, const TestCode& code, const Symbol& symbol) {
        const double wanted = isMatrix(code.symbology) ? MatrixModuleMm : LinearModuleMm;
        const double fits = SymbolColumnMm / symbol.size().width();
        const double module = mm(std::max(SmallestModuleMm, std::min(wanted, fits)));
        const double height = std::max(symbol.size().height() * module, mm(22));
        if (y_ + height > page_.height()) {
            device_.newPage();
            ++layout_.pages;
            y_ = 0;
        }
        symbol.paint(painter_, QPointF(0, y_), module);
        const QSizeF drawn = symbol.size() * module / dotsPerMm_;
        layout_.placements.push_back(
            {index, layout_.pages - 1, QRectF(margins_ + QPointF(0, y_ / dotsPerMm_), drawn)});
        text(code,
             QRectF(mm(SymbolColumnMm + 5), y_, page_.width() - mm(SymbolColumnMm + 5), height));
        y_ += height + mm(GapMm);
    }

    const SheetLayout& layout() const { return layout_; }

private:
    double mm(double millimetres) const { return millimetres * dotsPerMm_; }

    void text(const TestCode& code, const QRectF& box) {
        QFont font = painter_.font();
        font.setPointSizeF(10);
        font.setBold(true);
        painter_.setFont(font);
        const double line = QFontMetricsF(font, &device_).lineSpacing();
        painter_.drawText(box.topLeft() + QPointF(0, line), QString::fromLatin1(code.name));
        font.setBold(false);
        font.setPointSizeF(8);
        painter_.setFont(font);
        const QString content = QString::fromStdString(scan_log::visibleForm(code.content));
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAnywhere);
        painter_.drawText(box.adjusted(0, line * 1.4, 0, 0), content, wrap);
    }

    QPagedPaintDevice& device_;
    QPainter painter_;
    double dotsPerMm_;
    QRectF page_;
    QPointF margins_;
    double y_ = 0;
    SheetLayout layout_{{}, 1};
};

} // namespace

Result<SheetLayout, SheetFailure> paintTestSheet(QPagedPaintDevice& device) {
    SheetPainter sheet(device);
    if (!sheet.active())
        return Failed{SheetFailure{SheetFailure::Kind::CannotWrite, {}, {}}};
    sheet.title();
    std::optional<SheetFailure> first;
    for (std::size_t i = 0; i < testCodes().size(); ++i) {
        const TestCode& code = testCodes()[i];
        const auto symbol = Symbol::encode(code);
        if (!symbol) {
            if (!first)
                first = SheetFailure{SheetFailure::Kind::NotEncoded,
                                     {},
                                     QString::fromLatin1(code.name) + QStringLiteral(": ") +
                                         symbol.error().message};
            continue;
        }
        sheet.code(i, code, *symbol);
    }
    if (first)
        return Failed{*first};
    return sheet.layout();
}

Result<SheetLayout, SheetFailure> writeTestSheet(const QString& path, QPageSize::PageSizeId paper) {
    std::optional<Result<SheetLayout, SheetFailure>> painted;
    const Status<QString> written = writePdfFile(path, [&](QPdfWriter& writer) {
        writer.setResolution(600);
        writer.setTitle(QStringLiteral("Linnet-Test test codes"));
        writer.setCreator(QStringLiteral("Linnet-Test"));
        writer.setPageLayout(QPageLayout(QPageSize(paper), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        painted = paintTestSheet(writer);
        // A code the encoder refused leaves the sheet incomplete: no file is better than that.
        return painted->ok();
    });
    if (painted && !painted->ok()) {
        SheetFailure failure = painted->error();
        failure.path = path;
        return Failed{failure};
    }
    if (!written)
        return Failed{SheetFailure{SheetFailure::Kind::CannotWrite, path, written.error()}};
    return *painted;
}

} // namespace test_codes
