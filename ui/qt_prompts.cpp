#include "ui/qt_prompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ui {

Prompts::Answer QtPrompts::messageBox(const QString& text, Buttons buttons, Icon icon,
                                      const QString& title) {
    QMessageBox box(parent_);
    box.setWindowTitle(title.isEmpty() ? AppTitle : title);
    // Messages carry names and paths from outside: never taken for rich text.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::AbortRetryIgnore:
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
        box.setDefaultButton(QMessageBox::Abort);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Ignore:
        return Answer::Ignore;
    default:
        // Closing the box with the window's close button counts as its escape answer.
        if (buttons == Buttons::OkCancel && box.clickedButton() == nullptr)
            return Answer::Cancel;
        return Answer::Ok;
    }
}

std::optional<QString> QtPrompts::inputBox(const QString& prompt, const QString& title,
                                           const QString& defaultAnswer) {
    bool ok = false;
    QString answer = QInputDialog::getText(parent_, title.isEmpty() ? AppTitle : title, prompt,
                                           QLineEdit::Normal, defaultAnswer, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

void QtPrompts::beep() {
    QApplication::beep();
}

} // namespace ui
