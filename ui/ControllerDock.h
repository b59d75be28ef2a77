#pragma once

#include <QObject>

class MainDialog;
class QAction;
class QDockWidget;
class QMainWindow;
class QScrollArea;

// The controller in a dock of the host's main window. The dock holds the one controller, so the window, the hotkeys
// and everything else act on the same state however the operator shows it: docked beside the preview, floating like
// a window of its own, or hidden. OBS 30 and later make the dock themselves from the content and an id; for OBS 29
// makeDock() makes the same dock. Either way this object follows it, as the dock's child. The host keeps the dock's
// place in the layout under its object name, the id, so that name must never change.
class ControllerDock : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kObjectName = "KavrenCameraControllerDock";

	// What the dock holds: the controller in a scroll area, titled like it. The host's window is as tall as its
	// tallest dock column needs: docked, the controller's designed height would push it past a laptop's screen,
	// so it keeps that height and scrolls inside the dock instead.
	static QScrollArea *makeContent(MainDialog *controller);

	// A dock holding makeContent(controller), in `host`'s right dock area (the host restores the place the
	// operator left it in from there), floating and hidden: the dock OBS 30 makes when given the content.
	static QDockWidget *makeDock(MainDialog *controller, QMainWindow *host);

	// Follows `dock`, which holds the content made for `controller`, and adds the entries that dock and float it
	// to the controller's View menu.
	ControllerDock(QDockWidget *dock, MainDialog *controller);

	QDockWidget *dock() const;

	// Shows the controller wherever it is placed and brings it to the front.
	void present();

private:
	void keepViewActionsInStep(bool floating);
	void fitToPlace();

	MainDialog *controller = nullptr;
	QScrollArea *scroller = nullptr; // the dock's content
	QAction *dockAction = nullptr;   // in the controller's View menu: docked in the host's window
	QAction *floatAction = nullptr;  // or floating
};
