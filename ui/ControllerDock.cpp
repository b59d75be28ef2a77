#include "ui/ControllerDock.h"

#include "ui/MainDialog.h"
#include "ui/ModuleText.h"
#include "ui/UiLog.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>

ControllerDock::ControllerDock(MainDialog *controller, QWidget *parent) : QDockWidget(parent), controller(controller)
{
	setObjectName(QLatin1String(kObjectName));
	setWindowTitle(controller->windowTitle());
	// The host's window is as tall as its tallest dock column needs: docked, the controller's designed height
	// would push it past a laptop's screen. It keeps that height and scrolls inside the dock instead.
	scroller = new QScrollArea(this);
	scroller->setObjectName(QStringLiteral("ControllerScrollArea"));
	scroller->setFrameShape(QFrame::NoFrame);
	scroller->setWidgetResizable(true);
	scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
	scroller->setWidget(controller);
	setWidget(scroller);
	connect(controller, &MainDialog::viewSizeChanged, this, &ControllerDock::fitToPlace);
	connect(controller, &MainDialog::closeRequested, this, &QDockWidget::close);

	// A floating dock on X11 has the window manager's title bar and no way back into the host's window other
	// than these entries.
	auto *places = new QActionGroup(this);
	dockAction = new QAction(ModuleText::text("DockInHostWindow"), places);
	dockAction->setObjectName(QStringLiteral("DockInHostWindowAction"));
	floatAction = new QAction(ModuleText::text("FloatOutsideHostWindow"), places);
	floatAction->setObjectName(QStringLiteral("FloatOutsideHostWindowAction"));
	for (QAction *place : {dockAction, floatAction})
		place->setCheckable(true);
	connect(dockAction, &QAction::triggered, this, [this]() { setFloating(false); });
	connect(floatAction, &QAction::triggered, this, [this]() { setFloating(true); });
	connect(this, &QDockWidget::topLevelChanged, this, &ControllerDock::keepViewActionsInStep);
	// Where the controller is matters when an operator asks for help with a screenshot of a layout.
	connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
		if (visible)
			qCInfo(lcUi, "the controller is shown %s",
			       isFloating() ? "floating" : "docked in OBS's window");
	});
	controller->addViewActions({dockAction, floatAction});
	keepViewActionsInStep(isFloating());
}

void ControllerDock::placeIn(QMainWindow *host)
{
	// Docking back needs a place in the host's layout, which a floating dock keeps for later.
	if (host->dockWidgetArea(this) == Qt::NoDockWidgetArea)
		host->addDockWidget(Qt::RightDockWidgetArea, this);
	setFloating(true);
	hide();
}

void ControllerDock::present()
{
	show();
	raise();
	if (isFloating())
		activateWindow();
	controller->setFocus(Qt::OtherFocusReason);
}

void ControllerDock::keepViewActionsInStep(bool floating)
{
	(floating ? floatAction : dockAction)->setChecked(true);
	fitToPlace();
}

void ControllerDock::fitToPlace()
{
	// As wide as the view and its scroll bar, and no taller than the host's layout makes it: the host's window
	// grows to make room for a dock's minimum height, even for the minimum a floating dock had as it is put back.
	const int margins = 2 * scroller->frameWidth();
	const int scrollBar = scroller->verticalScrollBar()->sizeHint().width();
	scroller->setMinimumWidth(controller->minimumWidth() + margins + scrollBar);
	scroller->setMaximumWidth(qMin(controller->maximumWidth() + margins + scrollBar, QWIDGETSIZE_MAX));
	if (!isFloating())
		return;
	// Floating, the dock is the controller's window at its designed size.
	scroller->setMinimumHeight(controller->minimumHeight() + margins);
	resize(size().expandedTo(minimumSizeHint()));
	scroller->setMinimumHeight(0);
}
