#pragma once

#include <QString>

class QWidget;

#include <QString>

// The host applies its theme to every widget of the application, ours included: a theme's paddings and margins
// would squeeze our fixed-size windows out of shape, and a theme's minimum height (OBS's themes give every push
// button one) replaces the minimum sizes our forms give their controls. Each of our windows calls this right
// after its form is set up, before anything polished it: every control's own style sheet then restates the
// control's box model and minimum size from the form, and the window gets `windowSheet` (if any) with neutral
// paddings and margins, so our forms decide the layout under any theme while fonts and palette still come from
// the host.
void applyHostStyleShield(QWidget *window, const QString &windowSheet = QString());
