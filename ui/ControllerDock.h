#pragma once

#include <QDockWidget>

class MainDialog;
class QAction;
class QMainWindow;
class QScrollArea;

// The controller as a dock of the host's main window. It holds the one controller, so the window, the hotkeys and
// everything else act on the same state however the operator shows it: docked beside the preview, floating like a
// window of its own, or hidden. The host keeps its place in the layout under the dock's object name, so that name
// must never change.
class ControllerDock : public QDockWidget {
	Q_OBJECT

public:
	static constexpr const char *kObjectName = "KavrenCameraControllerDock";

	// Takes `controller` as its content.
	ControllerDock(MainDialog *controller, QWidget *parent);

	// Puts the dock into `host`'s right dock area, then floating and hidden: the host restores the place the
	// operator left it in, and a first start shows the controller as the window it has always been.
	void placeIn(QMainWindow *host);

	// Shows the controller wherever it is placed and brings it to the front.
	void present();

private:
	void keepViewActionsInStep(bool floating);
	void fitToPlace();

	MainDialog *controller = nullptr;
	QScrollArea *scroller = nullptr; // holds the controller: docked, it scrolls rather than stretch the host
	QAction *dockAction = nullptr;   // in the controller's View menu: docked in the host's window
	QAction *floatAction = nullptr;  // or floating
};
