#include "main_window/menu_item_accessible.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>

namespace main_window {

namespace {

// A menu's item, as Qt tells of one, with its tooltip as the description. Qt's own interface
// for menu items keeps no description; it is created only when no factory gives one.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit MenuItemAccessible(QAction* action) : action_(action) {}

    bool isValid() const override { return action_ != nullptr && owner() != nullptr; }
    QObject* object() const override { return action_; }
    QWindow* window() const override {
        const QWidget* menu = owner();
        return menu != nullptr ? menu->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text type) const override {
        switch (type) {
        case QAccessible::Name: {
            QString name = action_->text();
            const qsizetype amp = name.indexOf(u'&');
            if (amp >= 0 && amp + 1 < name.size() && name.at(amp + 1) != u'&')
                name.remove(amp, 1);
            return name.replace(QStringLiteral("&&"), QStringLiteral("&"));
        }
        case QAccessible::Description: {
            // Without a tooltip of its own, QAction makes one of its caption: no description.
            const QString tip = action_->toolTip();
            const QString name = text(QAccessible::Name);
            return tip == name || tip + QStringLiteral("...") == name ? QString() : tip;
        }
        case QAccessible::Accelerator:
            return action_->shortcut().toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        QMenu* menu = owner();
        if (menu == nullptr)
            return {};
        const QRect local = menu->actionGeometry(action_);
        return QRect(menu->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override {
        return action_->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        QMenu* menu = owner();
        s.invisible = menu == nullptr || !menu->isVisible() || !action_->isVisible();
        s.focused = menu != nullptr && menu->activeAction() == action_;
        s.disabled = action_->isSeparator() || !action_->isEnabled();
        s.checkable = action_->isCheckable();
        s.checked = action_->isChecked();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override {
        return action_->isSeparator() ? QStringList() : QStringList{pressAction()};
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && action_->isEnabled())
            action_->trigger();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QMenu* owner() const {
        for (QObject* object : action_->associatedObjects())
            if (auto* menu = qobject_cast<QMenu*>(object))
                return menu;
        return nullptr;
    }

    QAction* action_;
};

QAccessibleInterface* menuItemFactory(const QString& className, QObject* object) {
    auto* action = qobject_cast<QAction*>(object);
    if (className != QLatin1String("QAction") || action == nullptr || action->menu() != nullptr)
        return nullptr;
    return new MenuItemAccessible(action);
}

} // namespace

void installMenuItemAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(menuItemFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace main_window
