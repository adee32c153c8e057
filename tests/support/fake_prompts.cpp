#include "fake_prompts.h"

using namespace ui;

ui::Prompts::Answer FakePrompts::messageBox(const QString& text, Buttons buttons, Icon icon,
                                            const QString& title) {
    calls.append(
        {Call::Kind::Message, text, buttons, icon, title.isEmpty() ? AppTitle : title, {}});
    if (whileOpen)
        whileOpen();
    if (answers.empty())
        return Answer::Ok;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> FakePrompts::inputBox(const QString& prompt, const QString& title,
                                             const QString& defaultAnswer) {
    calls.append({Call::Kind::Input, prompt, Buttons::OkCancel, Icon::None, title, defaultAnswer});
    if (inputs.empty() || !inputs.front().has_value()) {
        if (!inputs.empty())
            inputs.pop_front();
        return std::nullopt;
    }
    const QString answer = *inputs.front();
    inputs.pop_front();
    return answer;
}

void FakePrompts::beep() {
    calls.append({Call::Kind::Beep, {}, Buttons::Ok, Icon::None, {}, {}});
}

QList<FakePrompts::Call> FakePrompts::messages() const {
    QList<Call> result;
    for (const Call& call : calls)
        if (call.kind == Call::Kind::Message)
            result.append(call);
    return result;
}

int FakePrompts::beeps() const {
    int count = 0;
    for (const Call& call : calls)
        count += call.kind == Call::Kind::Beep;
    return count;
}
