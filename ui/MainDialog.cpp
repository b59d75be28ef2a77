#include "ui/MainDialog.h"
#include "ui_MainDialog.h"

#include "camera/CameraParse.h"
#include "camera/viscaGeneralOps.h"
#include "discovery/DiscoveryDialog.h"
#include "settings/Utils.h"
#include "ui/AboutDialog.h"
#include "ui/HotkeyCommands.h"
#include "ui/HostStyle.h"
#include "ui/HotkeySource.h"
#include "ui/ModuleText.h"
#include "ui/PanTiltLimitController.h"
#include "ui/PresetRenameDialog.h"
#include "ui/RelayDialog.h"
#include "visca/ViscaIPFactory.h"
#include "visca/viscaIpModule.h"

#include <QAction>
#include <QDebug>
#include <QJsonObject>
#include <QJsonValue>
#include <QMenu>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kSlotCount = 8;
constexpr QSize kSimpleViewSize(425, 692);
constexpr QSize kAdvancedViewSize(880, 692);
constexpr unsigned long kCommandPauseMs = 100;
constexpr int kPowerChecks = 3;
constexpr unsigned long kPowerCheckPauseMs = 200;

// The three drop-down menus share one look: grey panel, rounded bottom corners, teal selection.
const char *const kMenuStyleSheet = R"(QMenu {
	background-color: #727272;
	border: none;
	border-bottom-left-radius: 4px;
	border-bottom-right-radius: 4px;
	padding: 2px;
}
QMenu::item {
	background-color: #606060;
	color: #FFFFFF;
	margin: 1px;
	border-radius: 3px;
	padding: 5px 10px 5px 26px;
	font: normal 14px "Arial";
}
QMenu::item:selected {
	background-color: #7bb0b7;
}
QMenu::item:disabled {
	color: #8C8C8C;
}
QMenu::indicator {
	width: 16px;
	height: 16px;
	left: 5px;
}
QMenu::indicator:non-exclusive:unchecked {
	image: url(":/resource/images/Checkbox.svg");
}
QMenu::indicator:non-exclusive:checked {
	image: url(":/resource/images/Checkbox_p.svg");
}
QMenu::indicator:disabled {
	image: url(":/resource/images/Checkbox_d.svg");
})";

} // namespace

namespace {

ViscaTransfer::Options &relayOptions()
{
	static ViscaTransfer::Options options;
	return options;
}

} // namespace

void MainDialog::setRelayOptions(const ViscaTransfer::Options &options)
{
	relayOptions() = options;
}

MainDialog::MainDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::MainDialog>())
{
	ui->setupUi(this);
	setupHotKeyCommands();
	cameraHotKey = HotkeySource::create(this);

	setupSettingsUI();
	setupViewUI();
	setupHelpUI();

	ui->AdvanceFrame->hide();
	setFixedSize(kSimpleViewSize);
	setStyleSheet(QStringLiteral("background-color: #474747"));
	applyHostStyleShield(this);
	setupAccessibleNames();

	cameraModule = nullptr;
	updatePresetName();
	updateCameraName();
	updateUI(Disconnected);
	setupControlConnection();

	connectionTimer = new QTimer(this);
	connectionTimer->setInterval(kWatchdogIntervalMs);
	connect(connectionTimer, &QTimer::timeout, this, &MainDialog::connectionWatchdog);
	connectionTimer->start();

	const QRegularExpression digitsOnly(QStringLiteral("^[0-9]*$"));
	for (QLineEdit *edit : {ui->FocusSpeedEdit, ui->PanSpeedEdit, ui->TiltSpeedEdit, ui->ZoomSpeedEdit})
		edit->setValidator(new QRegularExpressionValidator(digitsOnly, edit));

	setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

	relay = new RelayService(relayOptions(), Utils::getAppDataPath(), this);
	relay->start();
}

MainDialog::~MainDialog()
{
	connectionTimer->stop();
	delete discoveryDialog;
	delete panTiltLimitDialog;
	delete presetRenameDialog;
	delete aboutDialog;
	delete relayDialog;
	delete cameraModule;
	cameraModule = nullptr;
	releaseCameraTable();
}

void MainDialog::setupHotKeyCommands()
{
	upCommand = [this](int) { cameraModule->setMotorUP(); };
	downCommand = [this](int) { cameraModule->setMotorDown(); };
	leftCommand = [this](int) { cameraModule->setMotorLeft(); };
	rightCommand = [this](int) { cameraModule->setMotorRight(); };
	zoomInCommand = [this](int) { cameraModule->setZoomIn(); };
	zoomOutCommand = [this](int) { cameraModule->setZoomOut(); };
	presetCallCommand = [this](int preset) {
		cameraModule->setMemory1_Index(preset);
		cameraModule->setMemory1_Recall();
	};
	motorStopCommand = [this](int) { cameraModule->setMotorStop(); };
	zoomStopCommand = [this](int) { cameraModule->setZoomStop(); };
}

void MainDialog::setupAccessibleNames()
{
	// These buttons show only artwork; screen readers and tool tips need words for them.
	const std::pair<QPushButton *, const char *> named[] = {
		{ui->UpButton, "TiltUpButton"},
		{ui->DownButton, "TiltDownButton"},
		{ui->LefButton, "PanLeftButton"},
		{ui->RightButton, "PanRightButton"},
		{ui->UpperLeftButton, "UpLeftButton"},
		{ui->UpperRightButton, "UpRightButton"},
		{ui->LowerLeftButton, "DownLeftButton"},
		{ui->LowerRightButton, "DownRightButton"},
		{ui->HomeButton, "HomeButton"},
		{ui->IndoorButton, "IndoorSceneButton"},
		{ui->MotionButton, "MotionSceneButton"},
		{ui->LowLightButton, "LowLightSceneButton"},
		{ui->BackLightButton, "BackLightSceneButton"},
	};
	for (const auto &[button, key] : named) {
		const QString text = ModuleText::text(key);
		button->setAccessibleName(text);
		button->setToolTip(text);
	}
}

// ------------------------------------------------------------------------------------------------ menus

void MainDialog::setupSettingsUI()
{
	settingsMenu = new QMenu(this);
	settingsMenu->setStyleSheet(QString::fromUtf8(kMenuStyleSheet));

	QAction *assignAction = settingsMenu->addAction(tr("Cameraassign"));
	assignAction->setObjectName(QStringLiteral("CameraAssignAction"));
	connect(assignAction, &QAction::triggered, this, &MainDialog::showDiscoveryDialog);

	QAction *hotKeyAction = settingsMenu->addAction(tr("UseHotHeys"));
	hotKeyAction->setObjectName(QStringLiteral("UseHotKeysAction"));
	HotkeyCommands::setupHotkeySwitch(hotKeyAction, cameraHotKey, this,
					  [this](int index, bool pressed) { onHotKey(index, pressed); });

	panTiltLimitAction = settingsMenu->addAction(ModuleText::text("PanTiltLimitSetting"));
	panTiltLimitAction->setObjectName(QStringLiteral("PanTiltLimitAction"));
	connect(panTiltLimitAction, &QAction::triggered, this, &MainDialog::showPanTiltLimitDialog);

	QAction *renameAction = settingsMenu->addAction(tr("PresetRename"));
	renameAction->setObjectName(QStringLiteral("PresetRenameAction"));
	connect(renameAction, &QAction::triggered, this, &MainDialog::showPresetRenameDialog);

	QAction *relayAction = settingsMenu->addAction(ModuleText::text("RelayMenu"));
	relayAction->setObjectName(QStringLiteral("RelayAction"));
	connect(relayAction, &QAction::triggered, this, &MainDialog::showRelayDialog);

	QAction *closeAction = settingsMenu->addAction(tr("Close"));
	closeAction->setObjectName(QStringLiteral("CloseAction"));
	connect(closeAction, &QAction::triggered, this, &QDialog::close);

	connect(settingsMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	ui->SettingsButton->setMenu(settingsMenu);
}

void MainDialog::setupViewUI()
{
	viewMenu = new QMenu(this);
	viewMenu->setStyleSheet(QString::fromUtf8(kMenuStyleSheet));
	viewMenu->addAction(tr("SimpleMode"), this, &MainDialog::hideAdvanceView)
		->setObjectName(QStringLiteral("SimpleModeAction"));
	viewMenu->addAction(tr("AdvanceMode"), this, &MainDialog::showAdvanceView)
		->setObjectName(QStringLiteral("AdvanceModeAction"));
	connect(viewMenu, &QMenu::aboutToShow, this, &MainDialog::setMenuWidth);
	ui->ViewButton->setMenu(viewMenu);
}

void MainDialog::setupHelpUI()
{
	auto *aboutAction = new QAction(tr("AboutUs"), this);
	aboutAction->setObjectName(QStringLiteral("AboutAction"));
	helpMenu = new QMenu(this);
	helpMenu->addAction(aboutAction);
	helpMenu->setStyleSheet(QString::fromUtf8(kMenuStyleSheet));
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
		discoveryDialog = new DiscoveryDialog();
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
		presetRenameDialog = new PresetRenameDialog(this);
		presetRenameDialog->setAttribute(Qt::WA_DeleteOnClose);
		connect(presetRenameDialog, &PresetRenameDialog::presetNamesChanged, this,
			&MainDialog::updatePresetName);
	}
	presetRenameDialog->show();
	presetRenameDialog->activateWindow();
	presetRenameDialog->raise();
}

void MainDialog::showRelayDialog()
{
	if (!relayDialog) {
		relayDialog = new RelayDialog(relay, this);
		relayDialog->setAttribute(Qt::WA_DeleteOnClose);
	}
	relayDialog->show();
	relayDialog->activateWindow();
	relayDialog->raise();
}

void MainDialog::showPanTiltLimitDialog()
{
	// The handler reads the link, profile and prefix when it runs, so a later connect is picked up.
	PanTiltLimitController::openDialog(
		panTiltLimitDialog, this, cameraKeyPrefix,
		[this](PanTiltLimitSettingDialog::CommandType type, int value) {
			PanTiltLimitController::runCommand(
				type, value, cameraModule, currentOps(), cameraKeyPrefix,
				[this](Command command, int v) { return setCommand(command, v); });
		});
}

void MainDialog::onHotKey(int index, bool pressed)
{
	const HotkeyCommands::CommandSet commands{upCommand,         downCommand,      leftCommand,
						  rightCommand,      zoomInCommand,    zoomOutCommand,
						  presetCallCommand, motorStopCommand, zoomStopCommand};
	HotkeyCommands::handleHotkey(commands, index, pressed, cameraMode == Connected,
				     [this](Command command, int value) { return setCommand(command, value); });
}

void MainDialog::setMenuWidth()
{
	auto *menu = qobject_cast<QMenu *>(sender());
	if (!menu)
		return;
	for (QPushButton *button : {ui->SettingsButton, ui->ViewButton, ui->HelpButton}) {
		if (button->menu() == menu) {
			menu->setMinimumWidth(button->width());
			menu->setMaximumWidth(button->width());
		}
	}
}

void MainDialog::showAdvanceView()
{
	ui->AdvanceFrame->show();
	setFixedSize(kAdvancedViewSize);
}

void MainDialog::hideAdvanceView()
{
	ui->AdvanceFrame->hide();
	setFixedSize(kSimpleViewSize);
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
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		qDebug() << "It's failed to read JSON file.";
		return;
	}
	for (int slot = 1; slot <= kSlotCount; ++slot) {
		const QString slotName = QStringLiteral("Camera%1").arg(slot);
		const QString nickKey = slotName + QStringLiteral("NickName");
		const QString caption = settings.contains(nickKey) ? settings.value(nickKey).toString()
								   : ModuleText::text(slotName.toUtf8().constData());
		cameraButton(slot)->setText(caption);
	}
}

void MainDialog::setIPAndName(int index, QString ip, QString name)
{
	Q_UNUSED(index)
	Q_UNUSED(ip)
	Q_UNUSED(name)
	updateCameraName();
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
	return cameraTable.isEmpty() ? nullptr : cameraTable.first().second;
}

void MainDialog::releaseCameraTable()
{
	for (const auto &entry : qAsConst(cameraTable))
		delete entry.second;
	cameraTable.clear();
}

bool MainDialog::connectToCamera(QPushButton *button, QString slotName)
{
	bool connected = false;
	if (!button->isChecked()) {
		// The operator let go of the camera in use; its link stays for the next connect to replace.
		updateUI(Disconnected);
		setStatusMessage(QString());
	} else {
		QJsonObject settings;
		Utils::readJSONFromFile(settings, Utils::getAppDataPath());
		const QString address = settings.value(slotName + QStringLiteral("IP")).toString();

		if (address.isEmpty()) {
			showConnectFailure(ConnectFailure::NoAddress, button->text(), QString());
		} else {
			CameraParse parse;
			const CamParamMap found = parse.parseCamera(address);
			viscaGeneralOps *ops = found.empty() ? nullptr : found.begin()->second.second;

			if (!ops || !ops->isValid()) {
				// Nothing of this identification is kept, so its capability objects go now.
				const QString model =
					found.empty() ? QString() : QString::fromStdString(found.begin()->second.first);
				for (const auto &entry : found)
					delete entry.second.second;
				showConnectFailure(found.empty() ? ConnectFailure::NotIdentified
								 : ConnectFailure::NoProfile,
						   address, model);
			} else {
				releaseCameraTable();
				for (const auto &entry : found)
					cameraTable.insert(entry.first, entry.second);

				const QString model = QString::fromStdString(ops->getNAME());
				delete cameraModule;
				cameraModule = ViscaIPFactory::viscaIPModule(model);
				cameraModule->onConnectToCamera(address, viscaIpModule::kViscaPort);

				setupControlUI(ops);
				updateControlUI();
				cameraKeyPrefix = address + model;
				connectedSlot = button->text();
				connectedAddress = address;
				connectedModel = model;

				setDefaultControlSettings();
				updateUI(Connected);
				setStatusMessage(QString());
				connected = true;
			}
		}
	}
	updateSelectCameraUI();
	button->setChecked(connected);
	return connected;
}

void MainDialog::showConnectFailure(ConnectFailure failure, const QString &subject, const QString &detail)
{
	updateUI(Disconnected);
	switch (failure) {
	case ConnectFailure::NoAddress:
		setStatusMessage(ModuleText::text("StatusNoAddress").arg(subject));
		break;
	case ConnectFailure::NotIdentified:
		setStatusMessage(ModuleText::text("StatusNotIdentified").arg(subject));
		break;
	case ConnectFailure::NoProfile:
		setStatusMessage(ModuleText::text("StatusNoProfile").arg(detail, subject));
		break;
	}
	Utils::showErrorMessage(ModuleText::text("FailedToConnectToCamera"));
}

void MainDialog::updateUI(CameraMode mode)
{
	cameraMode = mode;
	if (mode == Connected) {
		ui->CameraControlBox->setEnabled(true);
		ui->AdvanceFrame->setEnabled(true);
		panTiltLimitAction->setEnabled(true);
		readTiltSpeed();
		readPanSpeed();
		readZoomSpeed();
		readFocusSpeed();
		showConnected();
	} else {
		ui->CameraControlBox->setEnabled(false);
		ui->AdvanceFrame->setEnabled(false);
		updateSelectCameraUI();
		panTiltLimitAction->setEnabled(false);
		ui->ConnectionLabel->setText(ModuleText::text("StatusNotConnected"));
	}
	// The limit dialog's values belong to the camera that was in use.
	hideViews();
}

void MainDialog::hideViews()
{
	if (panTiltLimitDialog && panTiltLimitDialog->isVisible())
		panTiltLimitDialog->close();
}

void MainDialog::showConnected()
{
	ui->ConnectionLabel->setText(
		ModuleText::text("StatusConnected").arg(connectedSlot, connectedAddress, connectedModel));
}

void MainDialog::setStatusMessage(const QString &text)
{
	ui->MessageLabel->setText(text);
}

// ------------------------------------------------------------------------------------------------ wrappers

bool MainDialog::setCommand(Command command, int value)
{
	if (!cameraModule) {
		connectionTimer->start();
		return false;
	}
	connectionTimer->stop();
	command(value);
	// Cameras drop commands that follow each other too closely.
	QThread::msleep(kCommandPauseMs);
	connectionTimer->start();
	return true;
}

int MainDialog::getCommand(Inquiry inquiry)
{
	if (!cameraModule) {
		connectionTimer->start();
		return -1;
	}
	connectionTimer->stop();
	const int answer = inquiry();
	connectionTimer->start();
	return answer;
}

void MainDialog::setWatchdogInterval(int ms)
{
	connectionTimer->setInterval(ms);
}

void MainDialog::connectionWatchdog()
{
	if (cameraMode != Connected)
		return;
	for (int check = 0; check < kPowerChecks; ++check) {
		if (cameraModule && cameraModule->isPowerOK())
			return;
		QThread::msleep(kPowerCheckPauseMs);
	}
	updateUI(Disconnected);
	setStatusMessage(ModuleText::text("StatusConnectionLost").arg(connectedAddress));
	Utils::showErrorMessage(ModuleText::text("FailedToConnectToCamera"));
}

void MainDialog::storeSetting(const QString &key, const QJsonValue &value)
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		qDebug() << "It's failed to read JSON file.";
		return;
	}
	settings[key] = value;
	if (!Utils::writeJSONToFile(settings, Utils::getAppDataPath()))
		qDebug() << "It's failed to write JSON file.";
}
