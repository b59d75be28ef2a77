#include "ui/MainDialog.h"
#include "ui/ControllerStyle.h"
#include "ui/CompactLayout.h"
#include "ui/ElidedCaption.h"
#include "ui/UiLog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "control/CameraInUse.h"
#include "control/CameraPool.h"
#include "integrations/Controller.h"
#include "integrations/LiveCameras.h"
#include "ui/DiscoveryDialog.h"
#include "integrations/TallyLamps.h"
#include "settings/OperatorBox.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStorage.h"
#include "ui/AboutDialog.h"
#include "ui/HostStyle.h"
#include "ui/ModalBox.h"
#include "settings/ModuleText.h"
#include "ui/PanTiltLimits.h"
#include "ui/PresetRenameDialog.h"
#include "ui/GamepadDialog.h"
#include "ui/RelayDialog.h"
#include "ui/ScenePresetDialog.h"

#include "kavren-version.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QJsonObject>
#include <QJsonValue>
#include <QMenu>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>

#include <optional>

namespace {

constexpr int kSlotCount = SettingsFile::kSlotCount;
constexpr QSize kSimpleViewSize(425, 692);
constexpr QSize kAdvancedViewSize(880, 692);
// The settings key of the window's own state: its view.
constexpr const char *kViewKey = "ControllerView";
constexpr const char *kAdvancedView = "advanced";
constexpr const char *kSimpleView = "simple";

} // namespace

MainDialog::MainDialog(Controller *controller, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::MainDialog>()), owner(controller)
{
	ui->setupUi(this);
	// The boxes of the core library (settings, profiles) show from here on.
	ModalBox::install();
	// Before anything polishes the form under the host's theme: the shield reads the form's own sizes.
	ControllerStyle::apply(this);
	applyHostStyleShield(this, QStringLiteral("background-color: palette(window)"));
	showLogo(ui->LogoLabel, QStringLiteral(":/resource/images/logo.svg"));
	connect(controller->cameraPool(), &CameraPool::notice, this,
		[this](const QString &text) { setStatusMessage(text, Severity::Warning); });
	connect(controller->cameraPool(), &CameraPool::cameraStatusChanged, this, &MainDialog::onCameraStatus);
	// The window may be made long after the controller: what its cameras told so far shows at once.
	for (const CameraDoor::Info &camera : controller->cameraPool()->cameras())
		silentSlots[camera.slot] = !camera.answering && !camera.address.isEmpty();
	connect(controller, &Controller::heldBack, this, &MainDialog::onHeldBack);
	controller->setDeliberateCheck(&MainDialog::deliberateHeld);
	connect(owner, &Controller::presetCalledFromHotkey, this, &MainDialog::notePresetFromHotkey);
	connect(owner, &Controller::presetStored, this, [this](int slot, int preset, bool confirmed) {
		if (slot != connectedSlot())
			return;
		const char *text = confirmed ? "StatusPresetStored" : "StatusPresetNotStored";
		setStatusMessage(ModuleText::text(text).arg(presetLabel(preset), connectedCaption()),
				 confirmed ? Severity::Note : Severity::Warning);
	});
	connect(owner, &Controller::storeNeedsHold, this, [this](int preset) {
		setStatusMessage(ModuleText::text("StatusHoldToStore").arg(presetLabel(preset)));
	});
	connect(owner, &Controller::gamepadConnectionChanged, this, [this](const QString &device, bool connected) {
		setStatusMessage(
			ModuleText::text(connected ? "StatusGamepadConnected" : "StatusGamepadLost").arg(device),
			connected ? Severity::Note : Severity::Warning);
	});
	// A key changed the speeds: the fields show what the camera now moves with.
	connect(owner, &Controller::speedsChanged, this, &MainDialog::setDefaultControlSettings);

	setupSettingsUI();
	setupViewUI();
	setupHelpUI();

	ui->AdvanceFrame->hide();
	applyViewSize();
	setupAccessibleNames();
	setupKeyboard();

	updatePresetName();
	updateCameraName();
	updateUI(Disconnected);
	setupControlConnection();

	const QRegularExpression digitsOnly(QStringLiteral("^[0-9]*$"));
	for (QLineEdit *edit : {ui->FocusSpeedEdit, ui->PanSpeedEdit, ui->TiltSpeedEdit, ui->ZoomSpeedEdit})
		edit->setValidator(new QRegularExpressionValidator(digitsOnly, edit));

	setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

	// A settings file that cannot be written is told once; the changes are kept until OBS closes.
	QPointer<MainDialog> self(this);
	SettingsStorage::setWriteFailureReporter([self](const QString &path, const QString &reason) {
		if (!self)
			return;
		self->settingsWarning = ModuleText::text("StatusSettingsNotSaved").arg(path, reason);
		self->setStatusMessage(self->settingsWarning, Severity::Warning);
	});
	SettingsStorage::setWriteRecoveryReporter([self](const QString &) {
		if (self && !self->settingsWarning.isEmpty() && self->ui->MessageLabel->text() == self->settingsWarning)
			self->setStatusMessage(QString());
	});

	restoreSession();
	followCameraInUse();
}

MainDialog::~MainDialog()
{
	flushSettings();
	SettingsStorage::setWriteFailureReporter(nullptr);
	SettingsStorage::setWriteRecoveryReporter(nullptr);
	delete discoveryDialog;
	delete panTiltLimitDialog;
	delete presetRenameDialog;
	delete aboutDialog;
	delete relayDialog;
	delete scenePresetDialog;
}

CameraPool *MainDialog::cameraPool() const
{
	return owner->cameraPool();
}

CameraInUse &MainDialog::inUse() const
{
	return *owner->cameraInUse();
}

CameraWorker *MainDialog::activeCameraWorker() const
{
	return inUse().worker();
}

int MainDialog::connectingSlotNumber() const
{
	return inUse().connectingSlot();
}

int MainDialog::connectedSlot() const
{
	return inUse().slot();
}

// ------------------------------------------------------------------------------------------------ menus

void MainDialog::setupSettingsUI()
{
	settingsMenu = new QMenu(this);

	QAction *assignAction = settingsMenu->addAction(tr("Cameraassign"));
	assignAction->setObjectName(QStringLiteral("CameraAssignAction"));
	connect(assignAction, &QAction::triggered, this, &MainDialog::showDiscoveryDialog);

	QAction *hotKeyAction = settingsMenu->addAction(tr("UseHotHeys"));
	hotKeyAction->setObjectName(QStringLiteral("UseHotKeysAction"));
	setupHotkeySwitch(hotKeyAction);

	// The lamps follow the stored switch; the entry shows it as the menu opens.
	QAction *tallyAction = settingsMenu->addAction(ModuleText::text("TallyLampsMenu"));
	tallyAction->setObjectName(QStringLiteral("TallyLampsAction"));
	tallyAction->setCheckable(true);
	connect(settingsMenu, &QMenu::aboutToShow, tallyAction,
		[tallyAction]() { tallyAction->setChecked(TallyLamps::isEnabled()); });
	connect(tallyAction, &QAction::triggered, this, &TallyLamps::setEnabled);

	panTiltLimitAction = settingsMenu->addAction(ModuleText::text("PanTiltLimitSetting"));
	panTiltLimitAction->setObjectName(QStringLiteral("PanTiltLimitAction"));
	connect(panTiltLimitAction, &QAction::triggered, this, &MainDialog::showPanTiltLimitDialog);

	presetRenameAction = settingsMenu->addAction(tr("PresetRename"));
	presetRenameAction->setObjectName(QStringLiteral("PresetRenameAction"));
	connect(presetRenameAction, &QAction::triggered, this, &MainDialog::showPresetRenameDialog);

	QAction *relayAction = settingsMenu->addAction(ModuleText::text("RelayMenu"));
	relayAction->setObjectName(QStringLiteral("RelayAction"));
	connect(relayAction, &QAction::triggered, this, &MainDialog::showRelayDialog);
	QAction *scenePresetAction = settingsMenu->addAction(ModuleText::text("ScenePresetsMenu"));
	scenePresetAction->setObjectName(QStringLiteral("ScenePresetAction"));
	connect(scenePresetAction, &QAction::triggered, this, &MainDialog::showScenePresetDialog);
	QAction *gamepadAction = settingsMenu->addAction(ModuleText::text("GamepadMenu"));
	gamepadAction->setObjectName(QStringLiteral("GamepadAction"));
	connect(gamepadAction, &QAction::triggered, this, [this] { GamepadDialog::showFor(owner->gamepad(), this); });

	QAction *closeAction = settingsMenu->addAction(tr("Close"));
	closeAction->setObjectName(QStringLiteral("CloseAction"));
	connect(closeAction, &QAction::triggered, this, &MainDialog::closeView);

	connect(settingsMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	ui->SettingsButton->setMenu(settingsMenu);
}

void MainDialog::setupViewUI()
{
	viewMenu = new QMenu(this);
	// The entries say which view is shown.
	auto *views = new QActionGroup(this);
	simpleViewAction = viewMenu->addAction(tr("SimpleMode"), this, &MainDialog::hideAdvanceView);
	simpleViewAction->setObjectName(QStringLiteral("SimpleModeAction"));
	advancedViewAction = viewMenu->addAction(tr("AdvanceMode"), this, &MainDialog::showAdvanceView);
	advancedViewAction->setObjectName(QStringLiteral("AdvanceModeAction"));
	for (QAction *view : {simpleViewAction, advancedViewAction}) {
		view->setCheckable(true);
		views->addAction(view);
	}
	simpleViewAction->setChecked(true);
	connect(viewMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	ui->ViewButton->setMenu(viewMenu);
	// Docked on a narrow screen the advanced panel has the window to itself; this turns back to the controls.
	backToControls = new QPushButton(tr("BackToControls"), ui->AdvanceFrame);
	backToControls->setObjectName(QStringLiteral("BackToControlsButton"));
	backToControls->hide();
	ui->AdvanceLayout->insertWidget(0, backToControls);
	connect(backToControls, &QPushButton::clicked, this, &MainDialog::hideAdvanceView);
}

void MainDialog::setupHelpUI()
{
	auto *aboutAction = new QAction(tr("AboutUs"), this);
	aboutAction->setObjectName(QStringLiteral("AboutAction"));
	helpMenu = new QMenu(this);
	helpMenu->addAction(aboutAction);
	ui->HelpButton->setMenu(helpMenu);
	connect(helpMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	connect(aboutAction, &QAction::triggered, this, &MainDialog::showAboutDialog);
}

void MainDialog::showAboutDialog()
{
	if (!aboutDialog) {
		aboutDialog = new AboutDialog(this);
		aboutDialog->setAttribute(Qt::WA_DeleteOnClose);
	}
	aboutDialog->show();
	aboutDialog->activateWindow();
	aboutDialog->raise();
}

void MainDialog::showDiscoveryDialog()
{
	if (!discoveryDialog) {
		discoveryDialog = new DiscoveryDialog(owner->sceneSource(), nullptr, std::max(1, connectedSlot()));
		discoveryDialog->setAttribute(Qt::WA_DeleteOnClose);
		connect(discoveryDialog, &DiscoveryDialog::ipAssigned, this, &MainDialog::setIPAndName);
	}
	discoveryDialog->show();
	discoveryDialog->activateWindow();
	discoveryDialog->raise();
}

void MainDialog::showPresetRenameDialog()
{
	if (!presetRenameDialog) {
		presetRenameDialog = new PresetRenameDialog(connectedSlot(), connectedCaption(), this);
		presetRenameDialog->setAttribute(Qt::WA_DeleteOnClose);
		connect(presetRenameDialog, &PresetRenameDialog::presetNamesChanged, this,
			&MainDialog::updatePresetName);
	}
	presetRenameDialog->show();
	presetRenameDialog->activateWindow();
	presetRenameDialog->raise();
}

void MainDialog::showScenePresetDialog()
{
	if (!scenePresetDialog) {
		scenePresetDialog = new ScenePresetDialog(owner->cameraPool(), owner->sceneSource(), this);
		scenePresetDialog->setAttribute(Qt::WA_DeleteOnClose);
	}
	scenePresetDialog->show();
	scenePresetDialog->activateWindow();
	scenePresetDialog->raise();
}

void MainDialog::showRelayDialog()
{
	if (!relayDialog) {
		relayDialog = new RelayDialog(owner->relay(), this);
		relayDialog->setAttribute(Qt::WA_DeleteOnClose);
	}
	relayDialog->show();
	relayDialog->activateWindow();
	relayDialog->raise();
}

void MainDialog::showPanTiltLimitDialog()
{
	// The handler reads the profile and prefix when it runs, so a later connect is picked up.
	PanTiltLimits::openDialog(panTiltLimitDialog, this, cameraKeyPrefix,
				  [this](PanTiltLimitSettingDialog::CommandType type, int value) {
					  PanTiltLimits::runCommand(type, value, currentOps(), cameraKeyPrefix,
								    [this](const Command &command, int v) {
									    return setCommand(command, v);
								    });
				  });
}

void MainDialog::setupHotkeySwitch(QAction *action)
{
	// The menu draws the check mark in the host theme's colours, readable light or dark.
	const auto showState = [action](bool on) { action->setChecked(on); };
	action->setCheckable(true);
	showState(owner->hotkeysEnabled());
	connect(action, &QAction::triggered, this, [this, showState](bool checked) {
		owner->setHotkeysEnabled(checked);
		showState(checked);
		// The plug-in only offers the hotkeys; the operator binds keys to them in the host's settings. Nothing
		// went wrong: an information box, not a warning.
		if (checked)
			OperatorBox::present(
				{QStringLiteral(KAVREN_DISPLAY_NAME), ModuleText::text("NeedToSetHotKeysInOBS")});
	});
}

void MainDialog::notePresetFromHotkey(int slot, int preset)
{
	if (slot == connectedSlot())
		setStatusMessage(
			ModuleText::text("StatusPresetFromHotkey").arg(presetLabel(preset), connectedCaption()));
}

void MainDialog::setMenuWidth()
{
	auto *menu = qobject_cast<QMenu *>(sender());
	if (!menu)
		return;
	// At least as wide as its button, and as wide as its longest entry needs.
	for (QPushButton *button : {ui->SettingsButton, ui->ViewButton, ui->HelpButton}) {
		if (button->menu() == menu)
			menu->setMinimumWidth(button->width());
	}
}

void MainDialog::showAdvanceView()
{
	setAdvancedShown(true);
	storeSetting(QLatin1String(kViewKey), QLatin1String(kAdvancedView));
}

void MainDialog::hideAdvanceView()
{
	setAdvancedShown(false);
	storeSetting(QLatin1String(kViewKey), QLatin1String(kSimpleView));
}

void MainDialog::setAdvancedShown(bool shown)
{
	(shown ? advancedViewAction : simpleViewAction)->setChecked(true);
	showViews();
}

void MainDialog::setAdvancedEnabled(bool enabled)
{
	// The way back to the controls stays open without a camera.
	for (QWidget *part : ui->AdvanceFrame->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
		if (part != backToControls)
			part->setEnabled(enabled);
}

void MainDialog::showViews()
{
	const bool advanced = advancedViewAction->isChecked();
	// A window (or a wide dock) has room for the advanced panel beside the controls; the compact dock shows it
	// in the controls' place, as a page of its own, so that neither needs scrolling.
	const bool onItsOwn = compactLayout && advanced;
	ui->SimplePanel->setVisible(!onItsOwn);
	ui->AdvanceFrame->setVisible(advanced);
	backToControls->setVisible(onItsOwn);
	applyViewSize();
}

void MainDialog::setCompact(bool compact)
{
	if (compact == compactLayout)
		return;
	compactLayout = compact;
	CompactLayout::apply(this, compact);
	showViews();
}

void MainDialog::applyViewSize()
{
	const bool sideBySide = !ui->AdvanceFrame->isHidden() && !ui->SimplePanel->isHidden();
	QSize size = sideBySide ? kAdvancedViewSize : kSimpleViewSize;
	if (compactLayout) {
		layout()->activate();
		size.setHeight(layout()->minimumSize().height());
	}
	if (isWindow()) {
		setFixedSize(size);
	} else {
		// In a dock the host's layout decides the height; the width stays the view's, so that the advanced
		// panel opens beside the simple view and nothing stretches.
		setMinimumSize(size);
		setMaximumSize(size.width(), QWIDGETSIZE_MAX);
	}
	emit viewSizeChanged();
}

void MainDialog::changeEvent(QEvent *event)
{
	QDialog::changeEvent(event);
	if (event->type() == QEvent::ParentChange)
		applyViewSize();
}

void MainDialog::closeEvent(QCloseEvent *event)
{
	// The host closes every dialog of its main window whenever it loads a scene collection; in a dock that would
	// leave an empty dock behind.
	if (!isWindow()) {
		event->ignore();
		return;
	}
	QDialog::closeEvent(event);
}

void MainDialog::closeView()
{
	// In a dock the window itself stays; the dock it is shown in closes, as with the dock's own close button.
	if (isWindow())
		close();
	else
		emit closeRequested();
}

void MainDialog::reject()
{
	// Escape closes the controller's own window; in a dock only the dock's close button hides it.
	if (isWindow())
		QDialog::reject();
}

void MainDialog::addViewActions(const QList<QAction *> &actions)
{
	viewMenu->addSeparator();
	viewMenu->addActions(actions);
}

void MainDialog::restoreSession()
{
	// The window comes back in the view the operator left it in.
	const QJsonObject settings = SettingsFile::read();
	if (settings.value(QLatin1String(kViewKey)).toString() == QLatin1String(kAdvancedView))
		setAdvancedShown(true);
}

void MainDialog::setStatusVisible(bool visible)
{
	ui->StatusFrame->setVisible(visible);
}

// ------------------------------------------------------------------------------------------------ slots

QPushButton *MainDialog::cameraButton(int slot) const
{
	return findChild<QPushButton *>(QStringLiteral("Camera%1Button").arg(slot));
}

void MainDialog::updateCameraName()
{
	const std::optional<QJsonObject> settings = SettingsFile::tryRead();
	if (!settings) {
		qCDebug(lcUi) << "It's failed to read JSON file.";
		return;
	}
	for (int slot = 1; slot <= kSlotCount; ++slot) {
		const QString slotName = SettingsFile::slotName(slot);
		const QString nickKey = SettingsFile::nickNameKey(slotName);
		const QString caption = settings->contains(nickKey) ? settings->value(nickKey).toString()
								    : ModuleText::text(slotName.toUtf8().constData());
		ElidedCaption::set(cameraButton(slot), caption);
	}
}

void MainDialog::setIPAndName(int index, QString ip, QString name)
{
	Q_UNUSED(ip)
	Q_UNUSED(name)
	updateCameraName();
	// The status line names the camera in use by its slot's caption, which may be the one just given.
	if (cameraMode == Connected)
		showConnected();
	// A message about the slot that was just assigned no longer holds.
	if (statusSlot == index + 1)
		setStatusMessage(QString());
}

void MainDialog::updateSelectCameraUI()
{
	for (int slot = 1; slot <= kSlotCount; ++slot)
		cameraButton(slot)->setChecked(false);
}

void MainDialog::on_Camera1Button_clicked()
{
	connectToCamera(ui->Camera1Button, QStringLiteral("Camera1"));
}

void MainDialog::on_Camera2Button_clicked()
{
	connectToCamera(ui->Camera2Button, QStringLiteral("Camera2"));
}

void MainDialog::on_Camera3Button_clicked()
{
	connectToCamera(ui->Camera3Button, QStringLiteral("Camera3"));
}

void MainDialog::on_Camera4Button_clicked()
{
	connectToCamera(ui->Camera4Button, QStringLiteral("Camera4"));
}

void MainDialog::on_Camera5Button_clicked()
{
	connectToCamera(ui->Camera5Button, QStringLiteral("Camera5"));
}

void MainDialog::on_Camera6Button_clicked()
{
	connectToCamera(ui->Camera6Button, QStringLiteral("Camera6"));
}

void MainDialog::on_Camera7Button_clicked()
{
	connectToCamera(ui->Camera7Button, QStringLiteral("Camera7"));
}

void MainDialog::on_Camera8Button_clicked()
{
	connectToCamera(ui->Camera8Button, QStringLiteral("Camera8"));
}

// ------------------------------------------------------------------------------------------------ connect flow

viscaGeneralOps *MainDialog::currentOps() const
{
	return inUse().connection().ops.get();
}

int MainDialog::slotNumber(const QString &slotName)
{
	return slotName.mid(QStringLiteral("Camera").size()).toInt();
}

bool MainDialog::connectToCamera(QPushButton *button, QString slotName)
{
	const int slot = slotNumber(slotName);
	bool started = false;
	if (!button->isChecked()) {
		// The operator let go of the camera in use (or of the one being connected); the slot's worker and its
		// link stay for the next connect.
		if (slot == inUse().connectingSlot())
			setStatusMessage(QString());
		inUse().letGo(slot);
	} else {
		const CameraInUse::Start start = inUse().choose(slot);
		if (start == CameraInUse::Start::NoAddress)
			showConnectFailure(ConnectFailure::NoAddress, slot, QString());
		started = start == CameraInUse::Start::Started;
	}
	refreshSlotButtons();
	return started;
}

void MainDialog::followCameraInUse()
{
	CameraInUse *camera = owner->cameraInUse();
	connect(camera, &CameraInUse::connecting, this, &MainDialog::onConnecting);
	connect(camera, &CameraInUse::connectFailed, this, &MainDialog::onConnectFailed);
	connect(camera, &CameraInUse::connected, this, [this](int, bool fresh) { onConnected(fresh); });
	connect(camera, &CameraInUse::released, this, &MainDialog::onReleased);
	connect(camera, &CameraInUse::answeringChanged, this, &MainDialog::onAnsweringChanged);
	connect(camera, &CameraInUse::lost, this, &MainDialog::onConnectionLost);
	connect(camera, &CameraInUse::answeringAgain, this, &MainDialog::onAnsweringAgain);
	connect(owner, &Controller::liveCamerasChanged, this, &MainDialog::refreshSlotButtons);
	// The controller may have chosen a camera before the window was made.
	if (camera->connectingSlot() != 0)
		onConnecting(camera->connectingSlot(), slotAddress(camera->connectingSlot()));
	else if (camera->isConnected())
		onConnected(true);
}

void MainDialog::onConnecting(int slot, const QString &address)
{
	setStatusMessage(ModuleText::text("StatusConnecting").arg(ElidedCaption::caption(cameraButton(slot)), address));
	refreshSlotButtons();
}

void MainDialog::onConnectFailed(int slot, const CameraWorker::ConnectResult &result)
{
	if (result.outcome == CameraWorker::ConnectResult::Outcome::NoProfile)
		showConnectFailure(ConnectFailure::NoProfile, slot, result.model);
	else
		showConnectFailure(ConnectFailure::NotIdentified, slot, QString());
	refreshSlotButtons();
}

void MainDialog::onConnected(bool fresh)
{
	++cameraGeneration;
	clearAwaiting();
	cameraKeyPrefix = inUse().connection().address + inUse().connection().model;
	setupControlUI(currentOps());
	if (fresh)
		applyPanelReading(inUse().connection().reading, changeClock);
	setDefaultControlSettings();
	updateUI(Connected);
	setStatusMessage(QString());
	refreshSlotButtons();
	qCInfo(lcUi, "%s connected: %s, %s", qUtf8Printable(connectedCaption()),
	       qUtf8Printable(inUse().connection().address), qUtf8Printable(inUse().connection().model));
	// A link made anew by another user of the slot brought no reading with it.
	if (!fresh)
		updateControlUI();
}

void MainDialog::onReleased()
{
	++cameraGeneration;
	clearAwaiting();
	qCInfo(lcUi, "a camera slot was released");
	updateUI(Disconnected);
	setStatusMessage(QString());
	refreshSlotButtons();
}

void MainDialog::onAnsweringChanged(bool answering)
{
	if (cameraMode != Connected)
		return;
	if (answering)
		showConnected();
	else
		ui->ConnectionLabel->setText(
			ModuleText::text("StatusNotAnswering").arg(connectedCaption(), inUse().connection().address));
}

void MainDialog::onConnectionLost(int slot)
{
	++cameraGeneration;
	clearAwaiting();
	updateUI(Disconnected);
	refreshSlotButtons();
	const QString address = inUse().connection().address;
	// No box: the operator is in the middle of a show, and the slot is taken back as soon as the camera answers.
	setStatusMessage(ModuleText::text("StatusConnectionLost").arg(address), Severity::Warning, slot);
	qCWarning(lcUi, "%s (%s) stopped answering and was released; it is taken back when it answers again",
		  qUtf8Printable(connectedCaption()), qUtf8Printable(address));
}

void MainDialog::onAnsweringAgain()
{
	++cameraGeneration;
	updateUI(Connected);
	refreshSlotButtons();
	const QString address = inUse().connection().address;
	setStatusMessage(ModuleText::text("StatusReconnected").arg(connectedCaption(), address));
	qCInfo(lcUi, "%s (%s) answers again and is back in use", qUtf8Printable(connectedCaption()),
	       qUtf8Printable(address));
	updateControlUI();
}

void MainDialog::refreshSlotButtons()
{
	// One slot is checked while its camera is in use; a slot being connected shows that it is on its way.
	for (int slot = 1; slot <= kSlotCount; ++slot) {
		QPushButton *button = cameraButton(slot);
		button->setChecked(cameraMode == Connected && slot == connectedSlot());
		// A slot whose camera is live on program in Studio Mode is framed red.
		const bool live = owner->liveCameras() && owner->liveCameras()->isLive(slot);
		const bool connecting = slot == inUse().connectingSlot();
		const bool silent = silentSlots.value(slot);
		if (button->property("connecting").toBool() != connecting ||
		    button->property("live").toBool() != live || button->property("silent").toBool() != silent) {
			button->setProperty("connecting", connecting);
			button->setProperty("live", live);
			button->setProperty("silent", silent);
			button->style()->unpolish(button);
			button->style()->polish(button);
		}
	}
}

void MainDialog::showConnectFailure(ConnectFailure failure, int slot, const QString &detail)
{
	// A camera in use stays in use: a failed switch must not take the camera on air away.
	if (cameraMode != Connected)
		updateUI(Disconnected);
	// One message that says what went wrong and what to do, in the status frame and the log; no box, because
	// the status frame already tells the operator where to act.
	const QString caption = ElidedCaption::caption(cameraButton(slot));
	QString message;
	switch (failure) {
	case ConnectFailure::NoAddress:
		message = ModuleText::text("StatusNoAddress").arg(caption);
		break;
	case ConnectFailure::NotIdentified:
		message = ModuleText::text("StatusNotIdentified").arg(slotAddress(slot));
		break;
	case ConnectFailure::NoProfile:
		message = ModuleText::text("StatusNoProfile").arg(detail, slotAddress(slot));
		break;
	}
	setStatusMessage(message, Severity::Warning, slot);
	qCWarning(lcUi, "%s: %s", qUtf8Printable(caption), qUtf8Printable(message));
}

QString MainDialog::connectedCaption() const
{
	const QPushButton *button = cameraButton(connectedSlot());
	return button ? ElidedCaption::caption(button) : QString();
}

QString MainDialog::slotAddress(int slot) const
{
	return SettingsFile::read().value(SettingsFile::addressKey(slot)).toString();
}

void MainDialog::updateUI(CameraMode mode)
{
	cameraMode = mode;
	// The preset buttons carry the names of the presets of the camera in use.
	updatePresetName();
	if (mode == Connected) {
		ui->CameraControlBox->setEnabled(true);
		setAdvancedEnabled(true);
		panTiltLimitAction->setEnabled(true);
		presetRenameAction->setEnabled(true);
		readTiltSpeed();
		readPanSpeed();
		readZoomSpeed();
		readFocusSpeed();
		showConnected();
	} else {
		ui->CameraControlBox->setEnabled(false);
		setAdvancedEnabled(false);
		updateSelectCameraUI();
		panTiltLimitAction->setEnabled(false);
		presetRenameAction->setEnabled(false);
		ui->ConnectionLabel->setText(ModuleText::text("StatusNotConnected"));
	}
	// The limit dialog's values belong to the camera that was in use.
	hideViews();
}

void MainDialog::hideViews()
{
	if (panTiltLimitDialog && panTiltLimitDialog->isVisible())
		panTiltLimitDialog->close();
	// Preset names belong to a slot's camera: a camera that is only lost for a while keeps its dialog.
	if (presetRenameDialog && presetRenameDialog->slot() != connectedSlot())
		presetRenameDialog->close();
}

void MainDialog::showConnected()
{
	ui->ConnectionLabel->setText(
		ModuleText::text("StatusConnected")
			.arg(connectedCaption(), inUse().connection().address, inUse().connection().model));
}

void MainDialog::setStatusMessage(const QString &text, Severity severity, int aboutSlot)
{
	ui->MessageLabel->setText(text);
	statusSlot = aboutSlot;
	const char *look = severity == Severity::Warning ? "warning" : "";
	if (ui->MessageLabel->property("severity").toString() != QLatin1String(look)) {
		ui->MessageLabel->setProperty("severity", QLatin1String(look));
		ui->MessageLabel->style()->unpolish(ui->MessageLabel);
		ui->MessageLabel->style()->polish(ui->MessageLabel);
	}
}

// ------------------------------------------------------------------------------------------------ camera work

bool MainDialog::setCommand(const Command &command, int value)
{
	// A drive moves while its control is held: the release stops what the press started.
	const CameraCaller caller = windowCaller();
	if (isDriveLane(command.lane))
		return command.stop ? inUse().release(command.lane, caller) : inUse().press(command, value, caller);
	return inUse().drive(command, value, caller);
}

bool MainDialog::submitToCamera(CameraJob job)
{
	return inUse().submit(std::move(job), windowCaller());
}

bool MainDialog::deliberateHeld()
{
	// Shift held with a control is the deliberate second action that moves a camera live on program.
	return QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
}

CameraCaller MainDialog::windowCaller()
{
	CameraCaller caller{CameraOrigin::Window};
	caller.deliberate = deliberateHeld();
	return caller;
}

void MainDialog::onHeldBack(int slot, CameraOrigin origin)
{
	// The window's controls go with Shift; keys, gamepads and programs only when protection is switched off.
	const char *text = origin == CameraOrigin::Window ? "StatusLiveCamera" : "StatusLiveCameraKeys";
	if (origin == CameraOrigin::Window || isOperator(origin))
		setStatusMessage(ModuleText::text(text).arg(ElidedCaption::caption(cameraButton(slot))),
				 Severity::Warning, slot);
}

void MainDialog::onCameraStatus(int slot, bool, bool answering)
{
	const bool silent = !answering && !slotAddress(slot).isEmpty();
	if (silentSlots.value(slot) == silent)
		return;
	silentSlots[slot] = silent;
	refreshSlotButtons();
	// The camera in use tells of itself in the connection line; another one is told here.
	if (silent && slot != connectedSlot())
		setStatusMessage(ModuleText::text("StatusSlotNotAnswering")
					 .arg(ElidedCaption::caption(cameraButton(slot)), slotAddress(slot)),
				 Severity::Warning, slot);
}

bool MainDialog::requestReading(int groups, PanelReader read, PanelApplier apply, int settleMs,
				std::function<void(MainDialog &)> afterwards)
{
	QPointer<MainDialog> self(this);
	const quint64 generation = cameraGeneration;
	const quint64 askedAt = changeClock;
	CameraJob job = CameraJob::panelReading(read, settleMs, [=](const PanelReading &reading) {
		// A reading of a camera that is no longer in use describes nothing on screen.
		if (!self || self->cameraGeneration != generation)
			return;
		self->setAwaiting(groups, false);
		(self.data()->*apply)(reading, askedAt);
		if (afterwards)
			afterwards(*self);
	});
	if (!submitToCamera(std::move(job)))
		return false;
	setAwaiting(groups, true);
	return true;
}

void MainDialog::setAwaiting(int groups, bool waiting)
{
	const std::pair<int, QList<QWidget *>> parts[] = {
		{LensGroup, {ui->ZoomWidget, ui->FocusWidget}},
		{ExposureGroup, {ui->ExposureBox}},
		{WhiteBalanceGroup, {ui->WhilteBalanceBox}},
		{ImageGroup, {ui->ImageBox}},
	};
	for (const auto &[group, widgets] : parts) {
		if (!(groups & group))
			continue;
		int &count = awaitingReadings[group];
		count = std::max(0, count + (waiting ? 1 : -1));
		// Disabled while the camera's answer is on its way: what the control shows is not current.
		for (QWidget *widget : widgets)
			widget->setEnabled(count == 0);
	}
}

void MainDialog::clearAwaiting()
{
	for (auto it = awaitingReadings.begin(); it != awaitingReadings.end(); ++it) {
		if (it.value() > 0) {
			it.value() = 1;
			setAwaiting(it.key(), false);
		}
	}
}

void MainDialog::noteOperatorChange(QObject *control)
{
	operatorChanges[control] = ++changeClock;
}

bool MainDialog::changedSince(QObject *control, quint64 askedAt) const
{
	return operatorChanges.value(control, 0) > askedAt;
}

void MainDialog::storeSetting(const QString &key, const QJsonValue &value)
{
	// A connect stores several values at once; they reach the file in one update when the window is done.
	const bool first = pendingSettings.isEmpty();
	pendingSettings[key] = value;
	if (first)
		QTimer::singleShot(0, this, &MainDialog::flushSettings);
}

void MainDialog::flushSettings()
{
	if (pendingSettings.isEmpty())
		return;
	QJsonObject changes;
	changes.swap(pendingSettings);
	SettingsFile::updateLaterLogged(lcUi, [changes](QJsonObject &settings) {
		for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
			settings[it.key()] = it.value();
	});
}
