#pragma once

class QWidget;

// The controller window docked in the host's window, where a laptop's screen leaves it about 410 px: the logo and
// the group titles give way, the slots, the pad and the presets take smaller minimum sizes, the presets four to a
// row, and the margins narrow, so that the slots, the pad, the presets and the status line show at once and a
// producer never scrolls during a show. Undone, the window is as its form designs it.
namespace CompactLayout {

void apply(QWidget *window, bool compact);

} // namespace CompactLayout
