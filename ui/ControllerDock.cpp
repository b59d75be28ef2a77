#include "ui/ControllerDock.h"

#include "ui/MainDialog.h"
#include "settings/ModuleText.h"
#include "ui/UiLog.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>

#include <utility>

QScrollArea *ControllerDock::makeContent(const QString &title)
{
	auto *scroller = new QScrollArea;
	scroller->setObjectName(QStringLiteral("ControllerScrollArea"));
	scroller->setWindowTitle(title);
	scroller->setFrameShape(QFrame::NoFrame);
	scroller->setWidgetResizable(true);
	scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
	return scroller;
}

QDockWidget *ControllerDock::makeDock(const QString &title, QMainWindow *host)
{
	auto *dock = new QDockWidget(host);
	dock->setObjectName(QLatin1String(kObjectName));
	dock->setWindowTitle(title);
	dock->setWidget(makeContent(title));
	// Docking back needs a place in the host's layout, which a floating dock keeps for later.
	host->addDockWidget(Qt::RightDockWidgetArea, dock);
	dock->setFloating(true);
	dock->hide();
	return dock;
}

ControllerDock::ControllerDock(QDockWidget *dock, WindowMaker makeWindow)
    : QObject(dock), makeWindow(std::move(makeWindow)), scroller(qobject_cast<QScrollArea *>(dock->widget()))
{
	// A floating dock on X11 has the window manager's title bar and no way back into the host's window other
	// than these entries.
	auto *places = new QActionGroup(this);
	dockAction = new QAction(ModuleText::text("DockInHostWindow"), places);
	dockAction->setObjectName(QStringLiteral("DockInHostWindowAction"));
	floatAction = new QAction(ModuleText::text("FloatOutsideHostWindow"), places);
	floatAction->setObjectName(QStringLiteral("FloatOutsideHostWindowAction"));
	for (QAction *place : {dockAction, floatAction})
		place->setCheckable(true);
	connect(dockAction, &QAction::triggered, dock, [dock]() { dock->setFloating(false); });
	connect(floatAction, &QAction::triggered, dock, [dock]() { dock->setFloating(true); });
	connect(dock, &QDockWidget::topLevelChanged, this, &ControllerDock::keepViewActionsInStep);
	connect(dock, &QDockWidget::visibilityChanged, this, [this, dock](bool visible) {
		if (!visible)
			return;
		// Shown by any means for the first time: the controller is made before the dock is painted.
		controller();
		// Where the controller is matters when an operator asks for help with a screenshot of a layout.
		qCInfo(lcUi, "the controller is shown %s", dock->isFloating() ? "floating" : "docked in OBS's window");
	});
	keepViewActionsInStep(dock->isFloating());
}

QDockWidget *ControllerDock::dock() const
{
	return static_cast<QDockWidget *>(parent());
}

MainDialog *ControllerDock::controller()
{
	if (window || !scroller)
		return window;
	window = makeWindow(scroller);
	if (!window)
		return nullptr;
	connect(window, &MainDialog::viewSizeChanged, this, &ControllerDock::fitToPlace);
	connect(window, &MainDialog::closeRequested, dock(), &QDockWidget::close);
	window->addViewActions({dockAction, floatAction});
	window->setCompact(!dock()->isFloating());
	scroller->setWidget(window);
	fitToPlace();
	return window;
}

void ControllerDock::present()
{
	QDockWidget *frame = dock();
	controller();
	frame->show();
	frame->raise();
	if (frame->isFloating())
		frame->activateWindow();
	if (window)
		window->setFocus(Qt::OtherFocusReason);
}

void ControllerDock::keepViewActionsInStep(bool floating)
{
	(floating ? floatAction : dockAction)->setChecked(true);
	if (window)
		window->setCompact(!floating); // tells the dock its new size
	fitToPlace();
}

void ControllerDock::fitToPlace()
{
	if (!scroller || !window)
		return;
	// As wide as the view and its scroll bar, and no taller than the host's layout makes it: the host's window
	// grows to make room for a dock's minimum height, even for the minimum a floating dock had as it is put back.
	const int margins = 2 * scroller->frameWidth();
	const int scrollBar = scroller->verticalScrollBar()->sizeHint().width();
	scroller->setMinimumWidth(window->minimumWidth() + margins + scrollBar);
	scroller->setMaximumWidth(qMin(window->maximumWidth() + margins + scrollBar, QWIDGETSIZE_MAX));
	QDockWidget *frame = dock();
	if (!frame->isFloating())
		return;
	// Floating, the dock is the controller's window at its designed size.
	scroller->setMinimumHeight(window->minimumHeight() + margins);
	frame->resize(frame->size().expandedTo(frame->minimumSizeHint()));
	scroller->setMinimumHeight(0);
}
