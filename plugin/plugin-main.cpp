#include "camera/ProfileLocation.h"
#include "camera/viscaGeneralOps.h"
#include "integrations/Controller.h"
#include "integrations/PresetPictures.h"
#include "plugin/CameraHotKey.h"
#include "plugin/ModuleLog.h"
#include "plugin/ObsSceneSource.h"
#include "plugin/ObsSourceCapture.h"
#include "plugin/ObsVendor.h"
#include "plugin/PluginLog.h"
#include "plugin/QtHostCheck.h"
#include "plugin/TermSignal.h"
#include "ui/ClickingButtonAccessible.h"
#include "ui/ControllerDock.h"
#include "ui/MainDialog.h"
#include "ui/ModalBox.h"
#include "settings/SettingsStorage.h"
#include "settings/ModuleText.h"
#include "settings/SettingsFile.h"

#include "kavren-version.h"

#include <obs-frontend-api.h>
#include <obs-module.h>

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE(KAVREN_MODULE_NAME, "en-US")

namespace {

// The one controller, made at load; its window, made inside its dock when the dock is first shown, is a view over it.
// Both belong to the host's main window, the controller last, so that the views go before it.
QPointer<Controller> controller;
QPointer<MainDialog> mainDialog; // the window of its own, only where the host took no dock
QPointer<ControllerDock> controllerDock;
// Set when the module refused to load into this host: nothing of it was set up, so nothing is taken down.
bool refusedToLoad = false;

// The controller's window, as a child of `parent`. The forms translate their texts while they are built; that goes
// through our own locale table.
MainDialog *makeWindow(QWidget *parent)
{
	obs_frontend_push_ui_translation(obs_module_get_string);
	auto *window = new MainDialog(controller, parent);
	obs_frontend_pop_ui_translation();
	return window;
}

// Puts an empty dock for the controller into the host's main window. Returns the dock, or nullptr when the host did
// not take it; `docksEntry` becomes the host's Docks-menu entry for it.
QDockWidget *addHostDock([[maybe_unused]] QWidget *mainWindow, const QString &title, QAction *&docksEntry)
{
	docksEntry = nullptr;
#if LIBOBS_API_MAJOR_VER >= 30
	// OBS 30 makes the dock itself, keeps it under our id and lists its own toggle in the Docks menu. The host
	// styles what it is given under its theme, widget by widget: given the empty content, it has nothing to style
	// yet.
	QScrollArea *content = ControllerDock::makeContent(title);
	if (!obs_frontend_add_dock_by_id(ControllerDock::kObjectName, qUtf8Printable(title), content)) {
		delete content;
		return nullptr;
	}
	auto *dock = qobject_cast<QDockWidget *>(content->parentWidget());
	if (dock)
		docksEntry = dock->toggleViewAction();
	return dock;
#else
	auto *host = qobject_cast<QMainWindow *>(mainWindow);
	if (!host)
		return nullptr;
	QDockWidget *dock = ControllerDock::makeDock(title, host);
	docksEntry = static_cast<QAction *>(obs_frontend_add_dock(dock));
	return dock;
#endif
}

void addControllerDock(QWidget *mainWindow)
{
	QAction *docksEntry = nullptr;
	// The title the window's form has, from the same locale table.
	const QString title = QString::fromUtf8(obs_module_text("Kavren OBS Camera Controller"));
	QDockWidget *dock = addHostDock(mainWindow, title, docksEntry);
	if (!dock) {
		kavren_log(LOG_WARNING, "the host did not take the controller's dock; it opens as a window of its own");
		mainDialog = makeWindow(mainWindow);
		return;
	}
	controllerDock = new ControllerDock(dock, makeWindow);
	// The host names the Docks entry after the dock's title; the short name reads better in that list, while a
	// floating controller keeps the product's name in its title bar.
	if (docksEntry)
		docksEntry->setText(QString::fromUtf8(obs_module_text("DockTitle")));
}

void showController()
{
	if (controllerDock) {
		controllerDock->present();
	} else if (mainDialog) {
		mainDialog->show();
		mainDialog->raise();
		mainDialog->activateWindow();
	}
}

void onFrontendEvent(enum obs_frontend_event event, void *)
{
	// OBS may end the process without taking its windows down first: every camera told to move gets its stop
	// now, while the workers can still send it.
	if (event == OBS_FRONTEND_EVENT_EXIT && controller) {
		kavren_log(LOG_INFO, "OBS is exiting: the cameras are stopped and their workers end");
		controller->shutdown();
	}
}

} // namespace

// What OBS lists the module as: its log names the module by them, and OBS 32's Plugin Manager too where the data
// folder's manifest.json (which also gives the id and version) is missing.
OBS_MODULE_AUTHOR(KAVREN_AUTHOR)

MODULE_EXPORT const char *obs_module_name(void)
{
	return KAVREN_DISPLAY_NAME;
}

MODULE_EXPORT const char *obs_module_description(void)
{
	return KAVREN_SUMMARY;
}

bool obs_module_load(void)
{
	// Before anything of ours touches Qt: in a host on the other Qt major it would take the host down.
	const std::string refusal = QtHostCheck::refusal(QT_VERSION_MAJOR, QtHostCheck::hostQtVersion());
	if (!refusal.empty()) {
		kavren_log(LOG_ERROR, "%s", refusal.c_str());
		refusedToLoad = true;
		return false;
	}
	// First, so that every line of ours from here on reaches OBS's log.
	ModuleLog::install();
	kavren_log(LOG_INFO, "loading %s %s (Qt %s compiled, %s running)", KAVREN_MODULE_NAME, KAVREN_VERSION,
		   QT_VERSION_STR, qVersion());
	ModuleText::setLookup(obs_module_text);
	// Profile labels such as "Manual" are shown translated, and the panels compare against the same texts.
	viscaGeneralOps::setTextLookup(
		[](const std::string &key) { return std::string(obs_module_text(key.c_str())); });
	char *profiles = obs_module_file("ini");
	if (profiles) {
		setInstalledProfileDirectory(QString::fromUtf8(profiles));
		bfree(profiles);
	} else {
		kavren_log(LOG_WARNING, "the camera profiles folder \"ini\" is missing from the module's data");
	}
	kavren_log(LOG_INFO, "camera profiles: %s", qUtf8Printable(profileDirectory()));
	kavren_log(LOG_INFO, "settings file: %s",
		   qUtf8Printable(SettingsStorage::filePath(SettingsStorage::defaultDirectory())));

	auto *mainWindow = static_cast<QWidget *>(obs_frontend_get_main_window());
	auto *action = static_cast<QAction *>(
		obs_frontend_add_tools_menu_qaction(obs_module_text("Kavren OBS Camera Controller")));

	// The controller registers its hotkeys with the host through this source.
	CameraHotKey::installAsHotkeySource();
	controller = new Controller();
	// Scene-linked presets follow OBS's scenes; the source goes with the controller.
	controller->attachSceneSource(new ObsSceneSource(controller));
	// Stored presets get their pictures from OBS's rendering of the slots' sources.
	controller->presetPictures()->setCapture(new ObsSourceCapture(controller));

	// The boxes of the core library (settings, profiles) show from here on, with or without the window.
	ModalBox::install();
	addControllerDock(mainWindow);
	// The host's main window takes its children down in the order it got them: the views first.
	controller->setParent(mainWindow);

	obs_frontend_add_event_callback(onFrontendEvent, nullptr);
	TermSignal::install();
	if (action)
		QObject::connect(action, &QAction::triggered, [] { showController(); });
	else
		kavren_log(LOG_WARNING, "no Tools menu to add the controller to");

	kavren_log(LOG_INFO, "module loaded");
	return true;
}

void obs_module_post_load(void)
{
	// obs-websocket loads after us, so its vendor API is reached only once every module is loaded.
	if (!controller)
		return;
	auto *vendor = new ObsVendor(controller, controller);
	if (!vendor->registerWithWebSocket())
		delete vendor;
}

void obs_module_unload(void)
{
	if (refusedToLoad)
		return;
	// The controller and its window go away with the host's main window; only the lookups into our locale table,
	// which the host frees, and the route into the host's log must not outlive the module.
	obs_frontend_remove_event_callback(onFrontendEvent, nullptr);
	TermSignal::remove();
	viscaGeneralOps::setTextLookup(nullptr);
	ModuleText::setLookup(nullptr);
	ClickingButtonAccessible::uninstall();
	HotkeySource::setFactory(nullptr);
	SettingsFile::leaveApplication();
	ModuleLog::remove();
}
