#pragma once

#include <functional>

class QMessageBox;

// The product's modal message boxes: the core library's (Utils::presentBox) and the widgets' own.
namespace ModalBox {

// Lets the core library show its boxes: modal, no parent, on top. Boxes need a GUI application; without one they
// are left out.
void install();

// Runs a modal box. Tests install an answerer that inspects the box and returns at once instead of blocking;
// without one the box is executed normally. Setting an answerer also installs the core's boxes, so a test sees them.
using Answerer = std::function<void(QMessageBox &box)>;
void setAnswerer(Answerer answerer);
void exec(QMessageBox &box);

} // namespace ModalBox
