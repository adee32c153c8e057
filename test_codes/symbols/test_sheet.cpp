#include "test_codes/symbols/test_sheet.h"

#include "test_codes/symbols/pdf_file.h"

#include "scan_log/model/gs1_parser.h"
#include "scan_log/model/visible_bytes.h"
#include "test_codes/model/test_code.h"
#include "test_codes/symbols/symbol.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace test_codes {

namespace {

// Module sizes in millimetres: the usual 1D X-dimension (EAN/UPC at 100 %), and a 2D module
// that phone cameras and imagers read at arm's length. Long codes shrink to fit, never below
// the smallest size common scanners resolve.
// Every module is a whole number of dots of a 150-dpi grid (0.169 mm), and every symbol starts on
// that grid: printed or rasterised at 150, 300 or 600 dpi, each bar edge falls on a dot's edge
// instead of smearing into a grey dot, which at 150 dpi loses the narrow bars of Code 39 and
// DataBar Expanded.
constexpr double GridMm = 25.4 / 150;
constexpr double LinearModuleMm = 2 * GridMm; // 0.339 mm, EAN/UPC at about 100 %
constexpr double MatrixModuleMm = 3 * GridMm; // 0.508 mm
constexpr double SmallestModuleMm = 2 * GridMm;
constexpr double SymbolColumnMm = 110;
constexpr double GapMm = 7;
// MaxiCode has one size: 28.14 mm wide and 26.91 mm high (ISO/IEC 16023), which scanners set
// for it expect.
constexpr double MaxiCodeWidthMm = 28.14;

// A GS1 content's fields, each with the GS that ends it: the places its label may break.
struct ContentField {
    std::string text;
};

std::vector<ContentField> contentFields(std::string_view content) {
    std::vector<ContentField> fields;
    std::size_t at = 0;
    for (const scan_log::Gs1Field& field : scan_log::parseElementString(content, 2026)) {
        // Each field's text as the content has it: its identifier, its value and a GS after it.
        std::size_t length = field.ai.size() + field.raw.size();
        if (at + length < content.size() && content[at + length] == '\x1D')
            ++length;
        fields.push_back({std::string(content.substr(at, length))});
        at += length;
    }
    if (at < content.size())
        fields.push_back({std::string(content.substr(at))});
    return fields;
}

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
        const double module =
            code.symbology == Symbology::MaxiCode
                ? mm(MaxiCodeWidthMm / symbol.size().width())
                : mm(std::max(SmallestModuleMm,
                              std::floor(std::min(wanted, fits) / GridMm + 1e-6) * GridMm));
        const QRectF textBox(mm(SymbolColumnMm + 5), 0, page_.width() - mm(SymbolColumnMm + 5), 0);
        const double height =
            std::max({symbol.size().height() * module, mm(22), textHeight(code, textBox.width())});
        if (y_ + height > page_.height()) {
            device_.newPage();
            ++layout_.pages;
            y_ = 0;
        }
        // The symbol's corner on the grid, measured from the page's corner.
        const auto onGrid = [](double mmFromPage) {
            return std::ceil(mmFromPage / GridMm - 1e-6) * GridMm;
        };
        const QPointF corner(onGrid(margins_.x()), onGrid(margins_.y() + y_ / dotsPerMm_));
        symbol.paint(painter_, (corner - margins_) * dotsPerMm_, module);
        const QSizeF drawn = symbol.size() * module / dotsPerMm_;
        layout_.placements.push_back({index, layout_.pages - 1, QRectF(corner, drawn)});
        text(code,
             QRectF(mm(SymbolColumnMm + 5), y_, page_.width() - mm(SymbolColumnMm + 5), height));
        y_ += height + mm(GapMm);
    }

    const SheetLayout& layout() const { return layout_; }

private:
    double mm(double millimetres) const { return millimetres * dotsPerMm_; }

    QFont nameFont() const {
        QFont font = painter_.font();
        font.setPointSizeF(10);
        font.setBold(true);
        return font;
    }
    QFont contentFont() const {
        QFont font = painter_.font();
        font.setPointSizeF(8);
        font.setBold(false);
        return font;
    }

    // The content in lines that fit `width`: whole, broken only where it parts itself (between
    // GS1 fields, after a blank, '/', '?', '&' or '-'), and where a piece is longer than a line,
    // at a visible mark.
    QStringList contentLines(const TestCode& code, double width) const {
        const QFontMetricsF metrics(contentFont(), &device_);
        QStringList pieces;
        if (code.gs1) {
            for (const ContentField& field : contentFields(code.content))
                pieces << QString::fromStdString(scan_log::visibleForm(field.text));
        } else {
            QString piece;
            for (const char c : code.content) {
                piece += QString::fromStdString(scan_log::visibleForm(std::string_view(&c, 1)));
                if (c == ' ' || c == '/' || c == '?' || c == '&' || c == '-') {
                    pieces << piece;
                    piece.clear();
                }
            }
            if (!piece.isEmpty())
                pieces << piece;
        }
        QStringList lines{QString()};
        for (QString piece : std::as_const(pieces)) {
            if (!lines.back().isEmpty() && metrics.horizontalAdvance(lines.back() + piece) > width)
                lines << QString();
            // A piece longer than a line goes on over a mark at each end of line.
            while (metrics.horizontalAdvance(lines.back() + piece) > width) {
                const QString mark = QStringLiteral(" \u21B5");
                qsizetype fit = 1;
                while (fit < piece.size() &&
                       metrics.horizontalAdvance(lines.back() + piece.left(fit + 1) + mark) <=
                           width)
                    ++fit;
                lines.back() += piece.left(fit) + mark;
                piece.remove(0, fit);
                lines << QString();
            }
            lines.back() += piece;
        }
        return lines;
    }

    double textHeight(const TestCode& code, double width) const {
        const double name = QFontMetricsF(nameFont(), &device_).lineSpacing();
        const double line = QFontMetricsF(contentFont(), &device_).lineSpacing();
        return name * 1.4 + line * (double(contentLines(code, width).size()) + 0.5);
    }

    void text(const TestCode& code, const QRectF& box) {
        painter_.setFont(nameFont());
        const double name = QFontMetricsF(nameFont(), &device_).lineSpacing();
        painter_.drawText(box.topLeft() + QPointF(0, name), QString::fromLatin1(code.name));
        painter_.setFont(contentFont());
        const double line = QFontMetricsF(contentFont(), &device_).lineSpacing();
        double y = box.top() + name * 1.4 + line;
        for (const QString& content : contentLines(code, box.width())) {
            painter_.drawText(QPointF(box.left(), y), content);
            y += line;
        }
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

base::Result<SheetLayout, SheetFailure> paintTestSheet(QPagedPaintDevice& device) {
    SheetPainter sheet(device);
    if (!sheet.active())
        return base::Failed{SheetFailure{SheetFailure::Kind::CannotWrite, {}, {}}};
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
        return base::Failed{*first};
    return sheet.layout();
}

base::Result<SheetLayout, SheetFailure> writeTestSheet(const QString& path,
                                                       QPageSize::PageSizeId paper) {
    std::optional<base::Result<SheetLayout, SheetFailure>> painted;
    const base::Status<QString> written = writePdfFile(path, [&](QPdfWriter& writer) {
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
        return base::Failed{failure};
    }
    if (!written)
        return base::Failed{SheetFailure{SheetFailure::Kind::CannotWrite, path, written.error()}};
    return *painted;
}

} // namespace test_codes
