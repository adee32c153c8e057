#pragma once

#include <QLabel>

namespace ui {

// A one-line label for text from outside (a scan, a device's name): shown as plain text, cut
// with "..." to the width the window gives it, the whole text in its tooltip and in its
// accessible description. However long the text, it never asks the window for more width.
class ElidedLabel final : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString full_;
};

} // namespace ui
