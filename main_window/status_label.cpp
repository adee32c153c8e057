#include "main_window/status_label.h"

#include <QAccessibleWidget>

namespace main_window {

namespace {

class StatusAccessible : public QAccessibleWidget {
public:
    explicit StatusAccessible(StatusLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text type) const override {
        if (type != QAccessible::Name)
            return QAccessibleWidget::text(type);
        const QString message = static_cast<const QLabel*>(widget())->text();
        return message.isEmpty() ? QStringLiteral("Status") : QStringLiteral("Status: ") + message;
    }
};

QAccessibleInterface* statusFactory(const QString& className, QObject* object) {
    Q_UNUSED(className);
    if (auto* label = qobject_cast<StatusLabel*>(object))
        return new StatusAccessible(label);
    return nullptr;
}

} // namespace

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(statusFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setTextFormat(Qt::PlainText);
}

void StatusLabel::showMessage(const QString& message) {
    const bool same = message == text();
    setText(message);
    // QLabel tells of a new text itself; the same text again it does not.
    if (same && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace main_window
