#pragma once

#include "ui/prompts.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

// Prompts that answer from a script and record every call.
class FakePrompts final : public ui::Prompts {
public:
    struct Call {
        enum class Kind { Message, Input, Beep } kind;
        QString text;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QString title;
        QString defaultAnswer;
    };

    QList<Call> calls;
    // Answers for message boxes, in order; Ok when the script has run out.
    std::deque<Answer> answers;
    // Answers for input prompts, in order (nullopt is Cancel); Cancel when the script has run out.
    std::deque<std::optional<QString>> inputs;
    // Runs inside each message box, as the user would act while it is open.
    std::function<void()> whileOpen;

    Answer messageBox(const QString& text, Buttons buttons, Icon icon,
                      const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultAnswer) override;
    void beep() override;

    QList<Call> messages() const;
    int beeps() const;
};
