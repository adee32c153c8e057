#pragma once

#include "test_codes/symbols/symbol.h"

#include <QWidget>

#include <optional>

namespace test_codes {

// One test code drawn as large as the widget allows, at a whole number of device pixels a
// module and never fewer than MinimumPixels, so that a scanner can read it off the screen.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int MinimumPixels = 3;
    // White around the code, in logical pixels.
    static constexpr int Margin = 16;

    explicit SymbolView(QWidget* parent = nullptr);

    void setSymbol(std::optional<Symbol> symbol);
    // Device pixels a module as last painted; 0 before the first paint or without a symbol.
    int pixelsPerModule() const { return pixelsPerModule_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int pixelsFor(QSize area) const;

    std::optional<Symbol> symbol_;
    int pixelsPerModule_ = 0;
};

} // namespace test_codes
