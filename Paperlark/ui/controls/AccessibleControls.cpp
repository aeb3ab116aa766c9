#include "ui/controls/AccessibleControls.h"

#include "ui/controls/ElidedLabel.h"
#include "ui/controls/GradientText.h"
#include "ui/controls/WindowButtons.h"

#include <QAccessibleWidget>
#include <QList>

#include <array>

namespace {

using Button = WindowButtons::Button;

QString buttonName(Button button) {
    switch (button) {
    case Button::close:
        return QStringLiteral("Close");
    case Button::minimise:
        return QStringLiteral("Minimise");
    case Button::maximise:
        return QStringLiteral("Maximise");
    }
    return {};
}

class AccessibleElidedLabel : public QAccessibleWidget {
public:
    explicit AccessibleElidedLabel(ElidedLabel* label)
        : QAccessibleWidget(label, label->announcesChanges() ? QAccessible::StatusBar
                                                             : QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<const ElidedLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(t);
    }
};

class AccessibleGradientText : public QAccessibleWidget {
public:
    explicit AccessibleGradientText(GradientText* text)
        : QAccessibleWidget(text, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<const GradientText*>(widget())->text();
        }
        return QAccessibleWidget::text(t);
    }
};

class AccessibleWindowButtons;

// One of the three buttons: not a widget of its own, so it answers for the
// part of the group it covers.
class AccessibleWindowButton : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleWindowButton(AccessibleWindowButtons* group, Button button)
        : group_(group), button_(button) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? buttonName(button_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    AccessibleWindowButtons* group_;
    Button button_;
};

class AccessibleWindowButtons : public QAccessibleWidget {
public:
    explicit AccessibleWindowButtons(WindowButtons* buttons)
        : QAccessibleWidget(buttons, QAccessible::Grouping) {
        for (const Button button : {Button::close, Button::minimise, Button::maximise}) {
            auto* child = new AccessibleWindowButton(this, button);
            ids_[static_cast<std::size_t>(button)] =
                QAccessible::registerAccessibleInterface(child);
        }
    }
    ~AccessibleWindowButtons() override {
        for (const QAccessible::Id id : ids_) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    WindowButtons* buttons() const { return static_cast<WindowButtons*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return QStringLiteral("Window");
        }
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return int(ids_.size()); }
    QAccessibleInterface* child(int index) const override {
        return index >= 0 && index < childCount()
                   ? QAccessible::accessibleInterface(ids_[std::size_t(index)])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < ids_.size(); ++i) {
            if (QAccessible::accessibleInterface(ids_[i]) == child) {
                return int(i);
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (child(i)->rect().contains(x, y)) {
                return child(i);
            }
        }
        return nullptr;
    }

private:
    std::array<QAccessible::Id, 3> ids_{};
};

bool AccessibleWindowButton::isValid() const {
    return group_->isValid();
}

QWindow* AccessibleWindowButton::window() const {
    return group_->window();
}

QAccessibleInterface* AccessibleWindowButton::parent() const {
    return group_;
}

QRect AccessibleWindowButton::rect() const {
    const WindowButtons* buttons = group_->buttons();
    const QRect local = buttons->buttonRect(button_);
    return QRect(buttons->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State AccessibleWindowButton::state() const {
    QAccessible::State state;
    state.invisible = !group_->buttons()->isVisible();
    return state;
}

void AccessibleWindowButton::doAction(const QString& name) {
    if (name == pressAction()) {
        group_->buttons()->trigger(button_);
    }
}

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("ElidedLabel")) {
        return new AccessibleElidedLabel(static_cast<ElidedLabel*>(object));
    }
    if (className == QLatin1String("GradientText")) {
        return new AccessibleGradientText(static_cast<GradientText*>(object));
    }
    if (className == QLatin1String("WindowButtons")) {
        return new AccessibleWindowButtons(static_cast<WindowButtons*>(object));
    }
    return nullptr;
}

} // namespace

void AccessibleControls::install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}
