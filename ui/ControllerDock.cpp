#include "ui/ControllerDock.h"

#include "ui/MainDialog.h"
#include "ui/ModuleText.h"
#include "ui/UiLog.h"

#include <QAction>
#include <QMainWindow>

ControllerDock::ControllerDock(MainDialog *controller, QWidget *parent) : QDockWidget(parent)
{
	setObjectName(QLatin1String(kObjectName));
	setWindowTitle(controller->windowTitle());
	setWidget(controller);

	// A floating dock on X11 has the window manager's title bar and no way back into the host's window other
	// than this entry.
	dockAction = new QAction(ModuleText::text("DockInHostWindow"), this);
	dockAction->setObjectName(QStringLiteral("DockInHostWindowAction"));
	dockAction->setCheckable(true);
	connect(dockAction, &QAction::toggled, this, [this](bool docked) { setFloating(!docked); });
	connect(this, &QDockWidget::topLevelChanged, this, &ControllerDock::keepDockActionInStep);
	// Where the controller is matters when an operator asks for help with a screenshot of a layout.
	connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
		if (visible)
			qCInfo(lcUi, "the controller is shown %s",
			       isFloating() ? "floating" : "docked in OBS's window");
	});
	controller->addViewAction(dockAction);
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
	if (widget())
		widget()->setFocus(Qt::OtherFocusReason);
}

void ControllerDock::keepDockActionInStep(bool floating)
{
	const QSignalBlocker quiet(dockAction);
	dockAction->setChecked(!floating);
}
