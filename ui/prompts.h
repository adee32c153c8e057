#pragma once

#include <QString>

#include <optional>

namespace ui {

// Title of every message box that gives none of its own.
inline const QString AppTitle = QStringLiteral("Linnet-Test");

// Everything that waits for the person at the bench: message boxes, input prompts, the beep.
// The program shows Qt dialogs; tests hand in a scripted double.
class Prompts {
public:
    enum class Buttons { Ok, OkCancel, AbortRetryIgnore };
    enum class Icon { None, Exclamation, Information, Question };
    enum class Answer { Ok, Cancel, Abort, Retry, Ignore };

    virtual ~Prompts() = default;

    // Modal message box; an empty title shows AppTitle.
    virtual Answer messageBox(const QString& text, Buttons buttons = Buttons::Ok,
                              Icon icon = Icon::None, const QString& title = {}) = 0;

    // Modal one-line input prompt; the answer, or nullopt when the user cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultAnswer) = 0;

    virtual void beep() = 0;

    // The warning box of a trapped failure: the failure's text, exclamation icon, OK.
    void warn(const QString& text) { messageBox(text, Buttons::Ok, Icon::Exclamation); }
};

} // namespace ui
