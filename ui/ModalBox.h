#pragma once

#include <functional>

class QMessageBox;
class QObject;

// The product's modal message boxes: the core library's (OperatorBox::present) and the widgets' own.
//
// A box never runs a nested event loop: OBS deletes windows while one would spin (every dialog under its main
// window closes when a scene collection loads, and obs-websocket can switch collections while a box is open), and
// the code after an exec() would then run on a deleted caller. A box is opened and the call returns at once; what
// depends on the operator's answer goes into a callback that dies with its caller.
namespace ModalBox {

// Lets the core library show its boxes: modal, no parent, on top. Boxes need a GUI application; without one they
// are left out.
void install();

// The operator's answer: the StandardButton pressed, or the dialog's result code.
using Answered = std::function<void(int answer)>;

// Opens `box`, which is taken over and deletes itself when closed, modal to the whole application, and returns at
// once. `answered` runs when the operator answers, but only while `caller` (when given) still exists.
void open(QMessageBox *box, QObject *caller = nullptr, Answered answered = {});

// Tests stand in for the operator: the answerer gets each box as it opens, in place of the screen, and answers it
// at once (a button's click(), done()) or keeps a QPointer to answer it later. Boxes still unanswered when the
// answerer is replaced go away unanswered. Setting an answerer also installs the core's boxes, so a test sees them.
using Answerer = std::function<void(QMessageBox &box)>;
void setAnswerer(Answerer answerer);

} // namespace ModalBox
