#pragma once

#include <QColor>
#include <QWidget>

namespace main_window {

// A straight line between two points given in twips of its parent, drawn three pixels thick.
// The end points are kept as given so that layout code can read them back.
class LineControl : public QWidget {
    Q_OBJECT

public:
    LineControl(double x1, double y1, double x2, double y2, QWidget* parent = nullptr);

    // The end points that the layout reads.
    double X1() const { return x1_; }
    double Y2() const { return y2_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int Thickness = 3;
    double x1_, y1_, x2_, y2_;
    QColor colour_{128, 128, 128};
};

} // namespace main_window
