#pragma once

#include "base/result.h"
#include "test_codes/model/test_code.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

class QPainter;

namespace test_codes {

// Why a code could not be encoded: the encoder's error number and its own message.
struct EncodeFailure {
    int error = 0;
    QString message;
};

// A test code as the encoder drew it, in module units (one module: the narrowest bar or the side
// of one square), quiet zones included. Painted at any size; on screen at a whole number of
// device pixels a module, so that every bar keeps its width.
class Symbol {
public:
    static base::Result<Symbol, EncodeFailure> encode(const TestCode& code);

    QSizeF size() const { return size_; }

    // Paints the symbol with its top left at `origin`, `moduleSize` painter units a module.
    void paint(QPainter& painter, QPointF origin, double moduleSize,
               const QColor& ink = Qt::black) const;

private:
    struct Hexagon {
        QPointF centre;
        double diameter;
    };
    struct Ring {
        QPointF centre;
        double diameter;
        double width; // 0: a filled disc
        bool background;
    };

    QSizeF size_;
    std::vector<QRectF> bars_;
    std::vector<Hexagon> hexagons_;
    std::vector<Ring> rings_;
};

} // namespace test_codes
