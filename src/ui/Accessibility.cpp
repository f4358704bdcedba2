#include "ui/Accessibility.h"

#include "ui/Form.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

constexpr const char* kRole = "varnetAccessibleRole";

// A picture is one object to a screen reader: what lies inside it (the scrolled picture, a line
// drawn over it) is part of it.
class WholeGraphic : public QAccessibleWidget {
public:
    explicit WholeGraphic(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
};

QAccessibleInterface* Interface(const QString& key, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    // Asked once per class from the most derived up: answered for the object's own class only,
    // so Qt's own interfaces of the classes underneath stay as they are.
    if (!widget || key != QLatin1String(object->metaObject()->className())) return nullptr;
    const QVariant role = widget->property(kRole);
    if (role.isValid()) {
        const auto r = QAccessible::Role(role.toInt());
        if (r == QAccessible::Graphic) return new WholeGraphic(widget);
        return new QAccessibleWidget(widget, r);
    }
    if (qobject_cast<Form*>(widget)) return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

namespace Accessibility {

void Install() {
    static const bool installed = (QAccessible::installFactory(&Interface), true);
    (void)installed;
}

void SetRole(QWidget* control, QAccessible::Role role) {
    control->setProperty(kRole, int(role));
}

void Describe(QWidget* control, QAccessible::Role role, const QString& name,
              const QString& description) {
    SetRole(control, role);
    control->setAccessibleName(name);
    if (!description.isEmpty()) control->setAccessibleDescription(description);
}

} // namespace Accessibility
