#pragma once

#include "relay/RelayService.h"
#include "ui/PanTiltLimitSettingDialog.h"

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <utility>

class AboutDialog;
class DiscoveryDialog;
class HotkeySource;
class PresetRenameDialog;
class RelayDialog;
class KVPlusMinusButton;
class QAction;
class QJsonValue;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class viscaGeneralOps;
class viscaIpModule;
namespace Ui {
class MainDialog;
}

// The controller window: eight camera slots, the motion, lens and preset panel, the advanced picture panel and
// the Settings, View and Help menus. It owns the link of the connected camera and that camera's capability
// object, and every camera command it issues runs through setCommand()/getCommand().
class MainDialog : public QDialog {
	Q_OBJECT

public:
	enum CameraMode { Disconnected = 0, Connected = 1 };

	// Identified cameras: IP address text -> (model name, capability object).
	using CameraTable = QMap<std::string, std::pair<std::string, viscaGeneralOps *>>;
	using Command = std::function<void(int)>;
	using Inquiry = std::function<int()>;

	static constexpr int kWatchdogIntervalMs = 15000;

	explicit MainDialog(QWidget *parent = nullptr);
	~MainDialog() override;

	// Runs one camera command: holds the watchdog off, runs it, leaves the camera 100 ms, restarts the watchdog.
	// False (and nothing run) while there is no camera link.
	bool setCommand(Command command, int value);
	// Runs one camera inquiry the same way, without the pause; -1 while there is no camera link.
	int getCommand(Inquiry inquiry);

	bool connectToCamera(QPushButton *button, QString slotName);
	void updateUI(CameraMode mode);
	// Sets the eight slot captions from the settings: a stored nickname, or the localized slot name.
	void updateCameraName();
	void updateSelectCameraUI();

	// Preset selection and captions.
	int calculatePresetIndex();
	void updatePresetUI(QPushButton *button, bool checked);
	void updatePresetName();

	// Loads the stored speeds and preset speed of the connected camera into the speed widgets.
	void setDefaultControlSettings();
	// Builds the advanced panel, the lens ranges, the speed ranges and the preset speed list from a model.
	void setupControlUI(viscaGeneralOps *ops);
	// Reads the camera's current lens and picture settings into the controls, sending nothing back.
	void updateControlUI();

	void setupPresetSpeedUI(const QList<std::string> &names);
	void setupExposureModeUI(const QList<std::string> &names);
	void setupWBModeUI(const QList<std::string> &names);
	void setupImageModeUI(const QList<std::string> &names);
	void setupDigEffectUI(const QList<std::string> &names);

	// Which controls a mode leaves usable.
	void updateExposureUI(QString mode);
	void updateWBUI(QString mode);
	void updateImageUI(QString mode);
	// Read one group's values back from the camera.
	void updateExposureUIWithoutMode();
	void updateWBUIWithoutMode();
	void updateImageUIWithoutMode();

	// The product checks the connection every 15 s; tests shorten that.
	void setWatchdogInterval(int ms);
	// Where the relay server of dialogs created from now on listens; the product uses the defaults, tests pick
	// ephemeral loopback ports.
	static void setRelayOptions(const ViscaTransfer::Options &options);
	// Closes the pan/tilt limit dialog when it is open.
	void hideViews();

	// The camera actions of the host hotkeys; each expects a camera link and is run through setCommand().
	Command upCommand;
	Command downCommand;
	Command leftCommand;
	Command rightCommand;
	Command zoomInCommand;
	Command zoomOutCommand;
	Command presetCallCommand;
	Command motorStopCommand;
	Command zoomStopCommand;

public slots:
	void setMenuWidth();
	void showAdvanceView();
	void hideAdvanceView();
	void setStatusVisible(bool visible);
	void setIPAndName(int index, QString ip, QString name);
	void on_Camera1Button_clicked();
	void on_Camera2Button_clicked();
	void on_Camera3Button_clicked();
	void on_Camera4Button_clicked();
	void on_Camera5Button_clicked();
	void on_Camera6Button_clicked();
	void on_Camera7Button_clicked();
	void on_Camera8Button_clicked();
	void on_Preset1Button_clicked();
	void on_Preset2Button_clicked();
	void on_Preset3Button_clicked();
	void on_Preset4Button_clicked();
	void on_Preset5Button_clicked();
	void on_Preset6Button_clicked();
	void on_Preset7Button_clicked();
	void on_Preset8Button_clicked();
	void on_Preset9Button_clicked();
	void readTiltSpeed();
	void readPanSpeed();
	void readZoomSpeed();
	void readFocusSpeed();

private:
	using SpeedRange = std::pair<int, int>; // minimum, maximum
	using SpeedSetter = void (viscaIpModule::*)(int);

	// Why the last connect attempt did not give a camera, for the status line.
	enum class ConnectFailure { NoAddress, NotIdentified, NoProfile };

	void setupSettingsUI();
	void setupViewUI();
	void setupHelpUI();
	void setupHotKeyCommands();
	void setupControlConnection();
	void setupPanelConnection();
	void setupAccessibleNames();
	void showAboutDialog();
	void showDiscoveryDialog();
	void showPresetRenameDialog();
	void showPanTiltLimitDialog();
	void showRelayDialog();
	void onHotKey(int index, bool pressed);
	void connectionWatchdog();

	QPushButton *cameraButton(int slot) const;
	QPushButton *presetButton(int number) const;
	void selectPreset(QPushButton *button);
	void callPreset();
	void storePreset();
	void commitSpeed(QLineEdit *edit, const SpeedRange &range, SpeedSetter setter, const char *key);
	void selectPresetSpeed(const QString &text);
	// The update pattern of the settings file: read it, set one key, write it back.
	void storeSetting(const QString &key, const QJsonValue &value);

	// The capability object in use: that of the first entry of cameraTable, or null.
	viscaGeneralOps *currentOps() const;
	// Capability objects belong to the dialog from identification on; these release them.
	void releaseCameraTable();

	// Exposure scenes: one-touch manual exposure with a shutter, an iris and a gain setting.
	struct SceneSetting {
		QStringList candidates;
		bool list = false; // a candidate list rather than a single name
	};
	void applyScene(const SceneSetting &shutter, const SceneSetting &iris, const SceneSetting &gain);
	void applySceneSetting(KVPlusMinusButton *control, const SceneSetting &setting, const Command &command,
			       const char *singleFailed, const char *candidateFailed, const char *endOfList);

	void showConnected();
	void showConnectFailure(ConnectFailure failure, const QString &subject, const QString &detail);
	void setStatusMessage(const QString &text);

	std::unique_ptr<Ui::MainDialog> ui;
	QMenu *settingsMenu = nullptr;
	QMenu *viewMenu = nullptr;
	QMenu *helpMenu = nullptr;
	QPointer<DiscoveryDialog> discoveryDialog;
	QPointer<PanTiltLimitSettingDialog> panTiltLimitDialog;
	QPointer<PresetRenameDialog> presetRenameDialog;
	QPointer<AboutDialog> aboutDialog;
	QPointer<RelayDialog> relayDialog;
	viscaIpModule *cameraModule = nullptr;
	SpeedRange panSpeedRange{0, 0};
	SpeedRange tiltSpeedRange{0, 0};
	SpeedRange zoomSpeedRange{0, 0};
	SpeedRange focusSpeedRange{0, 0};
	CameraTable cameraTable;
	QTimer *connectionTimer = nullptr;
	CameraMode cameraMode = Disconnected;
	QString cameraKeyPrefix;
	QAction *panTiltLimitAction = nullptr;
	HotkeySource *cameraHotKey = nullptr; // child of the dialog; inside the host it registers the hotkeys
	RelayService *relay = nullptr;        // child of the dialog

	// What the status line shows about the connected camera.
	QString connectedSlot;
	QString connectedAddress;
	QString connectedModel;
};
