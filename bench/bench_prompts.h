#pragma once

#include "main_window/prompts.h"

#include <QStringList>

namespace bench {

// Prompts that nobody has to answer: every message box is answered OK and noted, so that a
// prompt the bench did not expect (an overflow, a lost device) shows up in its report.
class BenchPrompts final : public Prompts {
public:
    Answer messageBox(const QString& text, Buttons, Icon, const QString&) override {
        messages.append(text);
        return Answer::Ok;
    }
    std::optional<QString> inputBox(const QString&, const QString&,
                                    const QString& defaultAnswer) override {
        return defaultAnswer;
    }
    void beep() override {}

    QStringList messages;
};

} // namespace bench
