#pragma once

// The controller window as the module makes it: over a controller of its own, made first and taken down last.

#include "integrations/Controller.h"
#include "ui/MainDialog.h"

namespace ControlledWindowSupport {

// The options of every controller made from now on; tests point the relay at ephemeral loopback ports and the
// workers at simulated cameras.
inline Controller::Options &options()
{
	static Controller::Options shared;
	return shared;
}

struct ControllerHolder {
	Controller owned{options()};
};

} // namespace ControlledWindowSupport

class ControlledWindow : private ControlledWindowSupport::ControllerHolder, public MainDialog {
public:
	explicit ControlledWindow(QWidget *parent = nullptr) : MainDialog(&owned, parent) {}
};
