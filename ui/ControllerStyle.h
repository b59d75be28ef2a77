#pragma once

class QWidget;

// The look of the controller window, in one place: each kind of control (slot buttons, the pad's artwork, preset
// buttons, group boxes, the status frame, the advanced panel's fields) has one style, in the host palette's roles
// so that it follows OBS's light and dark themes; only the artwork keeps its own colours. Every control of the
// window gets the style of its kind as its own style sheet, before applyHostStyleShield() restates its box model.
namespace ControllerStyle {

void apply(QWidget *window);

} // namespace ControllerStyle
