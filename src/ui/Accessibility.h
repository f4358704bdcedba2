#pragma once
// What assistive technology (a screen reader, over the platform's accessibility interface) is
// told of the program's windows and of its own controls. Qt's controls describe themselves; the
// program's windows and its own controls (plain widgets underneath) would otherwise be announced
// as unnamed fillers.

#include <QAccessible>
#include <QString>

class QWidget;

namespace Accessibility {

// Makes the program's accessible interfaces known to Qt: a window of the program (a Form) is a
// window, or a dialog once SetRole has said so; a control given a role by SetRole takes it.
// Called by every window's constructor; the second and later calls do nothing.
void Install();

// Gives one of the program's own controls (a plain QWidget underneath) its role, before anything
// has asked for the control's accessible interface. A Graphic is announced as one object: the
// controls inside it are not listed apart.
void SetRole(QWidget* control, QAccessible::Role role);

// Role, name and description in one step. An empty description leaves the one the control has.
void Describe(QWidget* control, QAccessible::Role role, const QString& name,
              const QString& description = {});

} // namespace Accessibility
