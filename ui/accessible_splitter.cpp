#include "ui/accessible_splitter.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QSplitter>
#include <QSplitterHandle>

namespace ui {

namespace {

QAccessibleInterface* handleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QSplitterHandle") && object != nullptr &&
        object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grip);
    return nullptr;
}

} // namespace

void nameSplitterHandles(QSplitter* splitter, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(handleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    for (int i = 0; i < splitter->count(); ++i) {
        QSplitterHandle* handle = splitter->handle(i);
        handle->setObjectName(splitter->objectName() + QStringLiteral("_handle_%1").arg(i));
        handle->setAccessibleName(name);
        handle->setToolTip(QStringLiteral("Drag to share the space differently"));
    }
}

} // namespace ui
