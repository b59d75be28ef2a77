#include "ui/ControllerDock.h"

#include "ui/MainDialog.h"
#include "ui/ModuleText.h"
#include "ui/UiLog.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>

QDockWidget *ControllerDock::makeDock(MainDialog *controller, QMainWindow *host)
{
	auto *dock = new QDockWidget(host);
	dock->setObjectName(QLatin1String(kObjectName));
	dock->setWindowTitle(controller->windowTitle());
	dock->setWidget(controller);
	// Docking back needs a place in the host's layout, which a floating dock keeps for later.
	host->addDockWidget(Qt::RightDockWidgetArea, dock);
	dock->setFloating(true);
	dock->hide();
	return dock;
}

ControllerDock::ControllerDock(QDockWidget *dock, MainDialog *controller) : QObject(dock)
{
	// A floating dock on X11 has the window manager's title bar and no way back into the host's window other
	// than this entry.
	dockAction = new QAction(ModuleText::text("DockInHostWindow"), this);
	dockAction->setObjectName(QStringLiteral("DockInHostWindowAction"));
	dockAction->setCheckable(true);
	connect(dockAction, &QAction::toggled, dock, [dock](bool docked) { dock->setFloating(!docked); });
	connect(dock, &QDockWidget::topLevelChanged, this, &ControllerDock::keepDockActionInStep);
	// Where the controller is matters when an operator asks for help with a screenshot of a layout.
	connect(dock, &QDockWidget::visibilityChanged, this, [dock](bool visible) {
		if (visible)
			qCInfo(lcUi, "the controller is shown %s",
			       dock->isFloating() ? "floating" : "docked in OBS's window");
	});
	keepDockActionInStep(dock->isFloating());
	controller->addViewAction(dockAction);
}

QDockWidget *ControllerDock::dock() const
{
	return static_cast<QDockWidget *>(parent());
}

void ControllerDock::present()
{
	QDockWidget *frame = dock();
	frame->show();
	frame->raise();
	if (frame->isFloating())
		frame->activateWindow();
	if (frame->widget())
		frame->widget()->setFocus(Qt::OtherFocusReason);
}

void ControllerDock::keepDockActionInStep(bool floating)
{
	const QSignalBlocker quiet(dockAction);
	dockAction->setChecked(!floating);
}
