#pragma once

class QAbstractButton;

// Screen readers act on a checkable button through its "press" or "toggle" action. Qt's own interface for buttons
// only flips the check state on "toggle", so a slot or preset button would look selected without connecting the
// camera or selecting the preset. Buttons marked here answer both actions exactly as a click would.
namespace ClickingButtonAccessible {

// Makes the button's accessible actions click it. Installs the accessibility factory on first use.
void mark(QAbstractButton *button);
// Removes the factory; the module calls this when it is unloaded, since the factory's code goes with it.
void uninstall();

} // namespace ClickingButtonAccessible
