#include "ui/accessible_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace ui {

namespace {

constexpr char WindowProperty[] = "linnetAccessibleWindow";

QAccessibleInterface* windowFactory(const QString&, QObject* object) {
    if (object != nullptr && object->isWidgetType() && object->property(WindowProperty).toBool())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void announceAsWindow(QWidget* window) {
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    Q_UNUSED(installed);
    window->setProperty(WindowProperty, true);
}

} // namespace ui
