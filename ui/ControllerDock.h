#pragma once

#include <QObject>

class MainDialog;
class QAction;
class QDockWidget;
class QMainWindow;

// The controller in a dock of the host's main window. The dock holds the one controller, so the window, the hotkeys
// and everything else act on the same state however the operator shows it: docked beside the preview, floating like
// a window of its own, or hidden. OBS 30 and later make the dock themselves from the controller and an id; for OBS 29
// makeDock() makes the same dock. Either way this object follows it, as the dock's child. The host keeps the dock's
// place in the layout under its object name, the id, so that name must never change.
class ControllerDock : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kObjectName = "KavrenCameraControllerDock";

	// A dock holding `controller`, titled like it, in `host`'s right dock area (the host restores the place the
	// operator left it in from there), floating and hidden: the dock OBS 30 makes when given the controller.
	static QDockWidget *makeDock(MainDialog *controller, QMainWindow *host);

	// Follows `dock`, which holds `controller`, and adds the entry that docks it to the controller's View menu.
	ControllerDock(QDockWidget *dock, MainDialog *controller);

	QDockWidget *dock() const;

	// Shows the controller wherever it is placed and brings it to the front.
	void present();

private:
	void keepDockActionInStep(bool floating);

	QAction *dockAction = nullptr; // in the controller's View menu: docked in the host's window or floating
};
