#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class MainDialog;
class QAction;
class QDockWidget;
class QMainWindow;
class QScrollArea;
class QString;
class QWidget;

// The controller in a dock of the host's main window. The dock holds the one controller, so the window, the hotkeys
// and everything else act on the same state however the operator shows it: docked beside the preview, floating like
// a window of its own, or hidden. OBS 30 and later make the dock themselves from the content and an id; for OBS 29
// makeDock() makes the same dock. Either way this object follows it, as the dock's child. The host keeps the dock's
// place in the layout under its object name, the id, so that name must never change.
//
// The controller's window is a large tree of widgets that the host's theme styles one by one. The dock is empty
// until it is first shown (from the Tools menu, the Docks menu, or by the host restoring a layout that shows it), and
// only then is the window made: the host's start never waits for a window nobody has opened.
class ControllerDock : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kObjectName = "KavrenCameraControllerDock";

	// Makes the controller's window as a child of `parent`; called once, the first time it is needed.
	using WindowMaker = std::function<MainDialog *(QWidget *parent)>;

	// What the dock holds: a scroll area titled `title`, which takes the controller when it is first shown. The
	// host's window is as tall as its tallest dock column needs: docked, the controller's designed height would
	// push it past a laptop's screen, so it keeps that height and scrolls inside the dock instead.
	static QScrollArea *makeContent(const QString &title);

	// A dock holding makeContent(title), in `host`'s right dock area (the host restores the place the operator
	// left it in from there), floating and hidden: the dock OBS 30 makes when given the content.
	static QDockWidget *makeDock(const QString &title, QMainWindow *host);

	// Follows `dock`, which holds makeContent()'s scroll area, and makes the controller with `makeWindow` into it
	// when the dock is first shown, with the entries that dock and float it in the controller's View menu.
	ControllerDock(QDockWidget *dock, WindowMaker makeWindow);

	QDockWidget *dock() const;

	// The controller's window, made now if the dock was never shown.
	MainDialog *controller();

	// Shows the controller wherever it is placed and brings it to the front.
	void present();

private:
	void keepViewActionsInStep(bool floating);
	void fitToPlace();

	WindowMaker makeWindow;
	QPointer<MainDialog> window;     // none until first shown
	QScrollArea *scroller = nullptr; // the dock's content
	QAction *dockAction = nullptr;   // in the controller's View menu: docked in the host's window
	QAction *floatAction = nullptr;  // or floating
};
