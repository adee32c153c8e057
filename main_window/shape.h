#pragma once

#include <QColor>
#include <QWidget>

namespace main_window {

// A round lamp: a circle with an outline and, when opaque, a fill in its background colour.
class Shape : public QWidget {
    Q_OBJECT

public:
    explicit Shape(QWidget* parent = nullptr);

    // Background colour as a packed value: red in the low byte, green next, blue third.
    int BackColor() const;
    void setBackColor(int packedRgb);

    // 0 transparent (no fill), 1 opaque.
    void setBackStyle(int style);

    // 0 transparent (no outline), 1 solid.
    void setBorderStyle(int style);

    void setBorderColor(int packedRgb);

    // What the lamp shows, in words, for a tooltip and for assistive technology: colour alone
    // does not reach a colour-blind user.
    void setStateText(const QString& text);
    QString stateText() const { return toolTip(); }

    static int packRgb(const QColor& colour);
    static QColor unpackRgb(int packedRgb);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor back_;
    QColor border_{Qt::black};
    int backStyle_ = 1;
    int borderStyle_ = 1;
};

} // namespace main_window
