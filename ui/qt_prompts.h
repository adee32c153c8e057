#pragma once

#include "ui/prompts.h"

class QWidget;

namespace ui {

// Prompts shown as Qt dialogs, centred on the given window.
class QtPrompts final : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer messageBox(const QString& text, Buttons buttons, Icon icon,
                      const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultAnswer) override;
    void beep() override;

private:
    QWidget* parent_;
};

} // namespace ui
