#pragma once

#include <QRect>

#include <cmath>

namespace ui {

// Positions and sizes of the forms are kept in twips (1/1440 inch). Qt widget coordinates are
// pixels of 1/96 inch on every screen (Qt scales them for high-density screens), so 15 twips make
// one pixel everywhere.
constexpr int TwipsPerPixel = 15;

constexpr int twipsToPixels(double twips) {
    return static_cast<int>(twips >= 0 ? twips / TwipsPerPixel + 0.5 : twips / TwipsPerPixel - 0.5);
}

inline QRect twipsRect(double left, double top, double width, double height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

} // namespace ui
