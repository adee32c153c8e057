#include "test_codes/symbols/symbol.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <memory>
#include <numbers>

#include <zint.h>

namespace test_codes {

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

struct Encoding {
    int symbology;
    int inputMode;
    int option1 = 0;
};

Encoding encodingOf(Symbology symbology) {
    switch (symbology) {
    case Symbology::Ean13:
    case Symbology::Ean8:
        return {BARCODE_EANX_CHK, DATA_MODE};
    case Symbology::UpcA:
        return {BARCODE_UPCA_CHK, DATA_MODE};
    case Symbology::UpcE:
        return {BARCODE_UPCE_CHK, DATA_MODE};
    case Symbology::Code128:
        return {BARCODE_CODE128, DATA_MODE};
    case Symbology::Code39:
        return {BARCODE_CODE39, DATA_MODE};
    case Symbology::Itf14:
        return {BARCODE_ITF14, DATA_MODE};
    case Symbology::Gs1_128:
        return {BARCODE_GS1_128, GS1_MODE};
    case Symbology::DataBarOmni:
        return {BARCODE_DBAR_OMN, DATA_MODE};
    case Symbology::DataBarExpanded:
        return {BARCODE_DBAR_EXP, GS1_MODE};
    case Symbology::QrCode:
    case Symbology::QrDigitalLink:
        return {BARCODE_QRCODE, DATA_MODE};
    case Symbology::DataMatrix:
        return {BARCODE_DATAMATRIX, DATA_MODE};
    case Symbology::Gs1DataMatrix:
        return {BARCODE_DATAMATRIX, GS1_MODE};
    case Symbology::Pdf417:
        return {BARCODE_PDF417, DATA_MODE};
    case Symbology::Aztec:
        return {BARCODE_AZTEC, DATA_MODE};
    case Symbology::MicroQr:
        return {BARCODE_MICROQR, DATA_MODE};
    case Symbology::MaxiCode:
        // Mode 4: plain data, no structured carrier message.
        return {BARCODE_MAXICODE, DATA_MODE, 4};
    }
    return {BARCODE_CODE128, DATA_MODE};
}

QPolygonF hexagon(QPointF centre, double diameter) {
    // Pointy top, as the encoder lays MaxiCode's modules out.
    QPolygonF corners;
    for (int i = 0; i < 6; ++i) {
        const double angle = std::numbers::pi / 3 * i + std::numbers::pi / 2;
        corners << centre + QPointF(std::cos(angle), std::sin(angle)) * (diameter / 2);
    }
    return corners;
}

} // namespace

base::Result<Symbol, EncodeFailure> Symbol::encode(const TestCode& code) {
    std::unique_ptr<zint_symbol, SymbolDeleter> made(ZBarcode_Create());
    if (!made)
        return base::Failed{EncodeFailure{ZINT_ERROR_MEMORY, QStringLiteral("out of memory")}};
    const Encoding encoding = encodingOf(code.symbology);
    made->symbology = encoding.symbology;
    made->input_mode = encoding.inputMode;
    if (encoding.option1 != 0)
        made->option_1 = encoding.option1;
    made->show_hrt = 0;
    made->output_options |= BARCODE_QUIET_ZONES;
    // A warning (a wrong check digit, a GS1 field out of rule) is a failure too: a test code
    // must be exactly what it says.
    made->warn_level = WARN_FAIL_ALL;
    // The vector output counts two units a module at scale 1.
    made->scale = 0.5f;
    const int error = ZBarcode_Encode_and_Buffer_Vector(
        made.get(), reinterpret_cast<const unsigned char*>(code.input.data()),
        static_cast<int>(code.input.size()), 0);
    if (error != 0 || made->vector == nullptr)
        return base::Failed{EncodeFailure{error, QString::fromLatin1(made->errtxt)}};

    Symbol symbol;
    const zint_vector& vector = *made->vector;
    symbol.size_ = QSizeF(vector.width, vector.height);
    for (const zint_vector_rect* r = vector.rectangles; r != nullptr; r = r->next)
        symbol.bars_.emplace_back(r->x, r->y, r->width, r->height);
    for (const zint_vector_hexagon* h = vector.hexagons; h != nullptr; h = h->next)
        symbol.hexagons_.push_back({QPointF(h->x, h->y), h->diameter});
    for (const zint_vector_circle* c = vector.circles; c != nullptr; c = c->next)
        symbol.rings_.push_back({QPointF(c->x, c->y), c->diameter, c->width, c->colour != 0});
    return symbol;
}

void Symbol::paint(QPainter& painter, QPointF origin, double moduleSize, const QColor& ink) const {
    painter.save();
    painter.translate(origin);
    painter.scale(moduleSize, moduleSize);
    painter.fillRect(QRectF(QPointF(0, 0), size_), Qt::white);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    // Bars meet edge to edge: without antialiasing no grey seam shows between them.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const QRectF& bar : bars_)
        painter.fillRect(bar, ink);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const Hexagon& h : hexagons_)
        painter.drawPolygon(hexagon(h.centre, h.diameter));
    // MaxiCode's bullseye: rings drawn by their outline, discs filled.
    for (const Ring& ring : rings_) {
        const QColor colour = ring.background ? QColor(Qt::white) : ink;
        if (ring.width > 0) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(colour, ring.width));
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
        }
        painter.drawEllipse(ring.centre, ring.diameter / 2, ring.diameter / 2);
    }
    painter.restore();
}

} // namespace test_codes
