#pragma once

#include <QString>

class QLabel;
class QSize;
class QWidget;

// The host applies its theme to every widget of the application, ours included: a theme's paddings and margins
// would squeeze our fixed-size windows out of shape, and a theme's minimum height (OBS's themes give every push
// button one) replaces the minimum sizes our forms give their controls. Each of our windows calls this right
// after its form is set up, before anything polished it: every control's own style sheet then restates the
// control's box model and minimum size from the form, and the window gets `windowSheet` (if any) with neutral
// paddings and margins, so our forms decide the layout under any theme while fonts and palette still come from
// the host. The window's colours are meant to come from the host's palette (palette roles in the sheets), and
// its keyboard focus shows as a FocusRing, which the faint focus frames of the host's styles are not. Text of a
// disabled control is its enabled colour dimmed towards the background, readable under any theme, whatever the
// host's palette gives disabled text (some give the background's own colour).
void applyHostStyleShield(QWidget *window, const QString &windowSheet = QString());

// Gives a control of a shielded window another minimum size, restated in its own style sheet as the shield does.
void setShieldedMinimumSize(QWidget *control, const QSize &size);

// Shows the SVG artwork at `path` in `label` with its white parts (the lettering of our logo) in the label's text
// colour, drawn again whenever the palette changes, so the logo reads under a light theme as under a dark one.
void showLogo(QLabel *label, const QString &path);
