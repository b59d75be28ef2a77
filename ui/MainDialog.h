#pragma once

#include "control/CameraCommand.h"
#include "control/CameraInUse.h"
#include "control/CameraWorker.h"
#include "control/PanelReading.h"
#include "ui/PanTiltLimitSettingDialog.h"

#include <QDialog>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class AboutDialog;
class CameraInUse;
class CameraPool;
class Controller;
class DiscoveryDialog;
class PresetRenameDialog;
class RelayDialog;
class ScenePresetDialog;
class KVPlusMinusButton;
class QComboBox;
class QAction;
class QJsonValue;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QPushButton;
class viscaGeneralOps;
namespace Ui {
class MainDialog;
}

// The controller window: eight camera slots, the motion, lens and preset panel, the advanced picture panel and
// the Settings, View and Help menus, a view over the controller it is given. The cameras are driven by the
// controller's workers, off the UI thread: every camera command the window issues goes to the camera in use
// through setCommand(), and the camera's answers come back as queued follow-ups that update the controls. The
// window never waits for a camera.
class MainDialog : public QDialog {
	Q_OBJECT

public:
	// The parts of the panel a reading refreshes; each shows that it waits until its answers come.
	enum PanelGroup { LensGroup = 1, ExposureGroup = 2, WhiteBalanceGroup = 4, ImageGroup = 8, AllGroups = 15 };

	enum CameraMode { Disconnected = 0, Connected = 1 };

	using Command = CameraCommand;

	// `controller` must outlive the window.
	explicit MainDialog(Controller *controller, QWidget *parent = nullptr);
	~MainDialog() override;

	// Queues one camera command for the camera in use; its worker runs it and leaves the camera its pause.
	// False (and nothing queued) while no camera is in use.
	bool setCommand(const Command &command, int value);

	// A click on a slot: starts identifying and connecting its camera on the slot's worker and returns at once
	// (true when an attempt started). Unchecking the slot in use lets go of its camera.
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
	// Asks the camera for its current lens and picture settings; the controls concerned show that they wait and
	// take the answers when they come, sending nothing back.
	void updateControlUI();
	// Shows a reading in the controls; values the camera did not answer, and controls the operator changed since
	// the reading was asked for, keep what they show.
	void applyPanelReading(const PanelReading &reading, quint64 askedAt);

	void setupPresetSpeedUI(const QList<std::string> &names);
	// A mode box lists each mode's translated label with its camera code as item data.
	void setupExposureModeUI(const QMap<std::string, int> &modes);
	void setupWBModeUI(const QMap<std::string, int> &modes);
	void setupImageModeUI(const QMap<std::string, int> &modes);
	void setupDigEffectUI(const QMap<std::string, int> &modes);

	// Which controls a mode, given by its code, leaves usable.
	void updateExposureUI(int code);
	void updateWBUI(int code);
	void updateImageUI(int code);
	// Read one group's values back from the camera.
	void updateExposureUIWithoutMode();
	void updateImageUIWithoutMode();

	Controller *controller() const { return owner; }
	CameraPool *cameraPool() const;
	// The worker of the camera in use, or null.
	CameraWorker *activeCameraWorker() const;
	// The slot being connected (1..8), 0 when none.
	int connectingSlotNumber() const;
	// Closes the pan/tilt limit dialog when it is open, and the preset names dialog of a slot no longer in use.
	void hideViews();

	// Adds entries to the controller's View menu, after a separator (the dock adds its own).
	void addViewActions(const QList<QAction *> &actions);
	// Docked in the host's window: the compact layout, which needs no scrolling on a laptop's screen.
	void setCompact(bool compact);
	bool isCompact() const { return compactLayout; }

signals:
	// Settings → Close while the window is shown inside another (a dock): the one showing it should close.
	void closeRequested();
	// The view's minimum and maximum sizes changed (simple or advanced view, window or not).
	void viewSizeChanged();

protected:
	void keyPressEvent(QKeyEvent *event) override;
	void changeEvent(QEvent *event) override;
	void closeEvent(QCloseEvent *event) override;

public slots:
	void reject() override;
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

	// Why the last connect attempt did not give a camera, for the status line.
	enum class ConnectFailure { NoAddress, NotIdentified, NoProfile };
	void setupSettingsUI();
	void setupViewUI();
	void setupHelpUI();
	void setupControlConnection();
	void setupPanelConnection();
	void setupAccessibleNames();
	void setupKeyboard();
	void showAboutDialog();
	void showDiscoveryDialog();
	void showPresetRenameDialog();
	void showPanTiltLimitDialog();
	void showRelayDialog();
	void showScenePresetDialog();
	void setupHotkeySwitch(QAction *action);
	void notePresetFromHotkey(int slot, int preset);

	void restoreSession();
	void setAdvancedShown(bool shown);
	void showViews(); // the controls, the advanced panel or both, as the view and the room allow
	void setAdvancedEnabled(bool enabled);
	void closeView();
	void applyViewSize(); // the simple or the advanced view's size, fixed as a window, as wide in a dock
	// What the window shows of the camera in use as it comes and goes.
	void followCameraInUse();
	void onConnecting(int slot, const QString &address);
	void onConnectFailed(int slot, const CameraWorker::ConnectResult &result);
	void onConnected(bool fresh);
	void onReleased();
	void onAnsweringChanged(bool answering);
	void onConnectionLost(int slot);
	void onAnsweringAgain();
	void showCameraInUse();
	CameraInUse &inUse() const;
	// The slot of the camera in use or lost, 0 when none.
	int connectedSlot() const;
	void refreshSlotButtons();
	static int slotNumber(const QString &slotName);

	// Camera work whose answers update the panel: queued for the camera in use, the follow-up runs only while
	// that camera is still in use.
	bool submitToCamera(CameraJob job);
	// The window as a caller, with the deliberate second action when Shift is held.
	static CameraCaller windowCaller();
	static bool deliberateHeld();
	void onHeldBack(int slot, CameraOrigin origin);
	// A camera that is not in use stopped answering, or answers again.
	void onCameraStatus(int slot, bool connected, bool answering);
	using PanelReader = PanelReading::Part;
	using PanelApplier = void (MainDialog::*)(const PanelReading &reading, quint64 askedAt);
	// Queues a reading of `groups` for the camera in use (after `settleMs`, for a camera that needs time to
	// apply a change); the groups wait until it arrives, then `apply` shows it and `afterwards` runs.
	bool requestReading(int groups, PanelReader read, PanelApplier apply, int settleMs = 0,
			    std::function<void(MainDialog &)> afterwards = {});
	void setAwaiting(int groups, bool waiting);
	void clearAwaiting();
	// The operator changed a control: a reading asked for before must not overwrite it.
	void noteOperatorChange(QObject *control);
	bool changedSince(QObject *control, quint64 askedAt) const;

	QPushButton *cameraButton(int slot) const;
	QPushButton *presetButton(int number) const;
	void selectPreset(QPushButton *button);
	void callPreset();
	void storePreset();
	// A preset call or store for the camera in use, told in the status frame while it runs and when the camera
	// confirmed it (or did not).
	void runPresetCommand(bool store, int preset, const char *pendingText, const char *doneText,
			      const char *failedText);
	QString presetLabel(int preset) const;
	void commitSpeed(QLineEdit *edit, const SpeedRange &range, const CameraCommand &command, const char *key);
	void onZoomStopped();
	void onFocusStopped();
	void stopLensAndFollow(CameraLane lens, QWidget *slider, std::function<void(int)> show);
	void clearPresetSelectionLater(quint64 selection);
	void selectPresetSpeed(const QString &text);
	// The update pattern of the settings file: read it, set the keys, write it back. Keys stored in one go (a
	// connect stores five) are written together once the window is done with the event.
	void storeSetting(const QString &key, const QJsonValue &value);
	void flushSettings();

	// The capabilities of the camera in use or lost, or null.
	viscaGeneralOps *currentOps() const;

	// Exposure scenes: one-touch manual exposure with a shutter, an iris and a gain setting.
	struct ExposureSceneSetting {
		QStringList candidates;
		bool list = false; // a candidate list rather than a single name
	};
	void applyExposureScene(const ExposureSceneSetting &shutter, const ExposureSceneSetting &iris,
				const ExposureSceneSetting &gain);
	void applyExposureSceneSetting(KVPlusMinusButton *control, const ExposureSceneSetting &setting,
				       const char *singleFailed, const char *candidateFailed, const char *endOfList);
	void applyValues(PanelGroup group, const PanelReading &reading, quint64 askedAt);
	void applyExposureValues(const PanelReading &reading, quint64 askedAt);
	void applyWhiteBalanceValues(const PanelReading &reading, quint64 askedAt);
	void applyImageValues(const PanelReading &reading, quint64 askedAt);
	void applyModeReading(QComboBox *box, std::optional<int> code, quint64 askedAt,
			      void (MainDialog::*gate)(int code));

	void showConnected();
	void showConnectFailure(ConnectFailure failure, int slot, const QString &detail);
	QString slotAddress(int slot) const;
	// The caption of the slot of the camera in use (or lost), as the operator last named it.
	QString connectedCaption() const;
	// What the status frame says: a note, or a warning the operator should act on, possibly about one slot.
	enum class Severity { Note, Warning };
	void setStatusMessage(const QString &text, Severity severity = Severity::Note, int aboutSlot = 0);

	std::unique_ptr<Ui::MainDialog> ui;
	QMenu *settingsMenu = nullptr;
	QMenu *viewMenu = nullptr;
	QMenu *helpMenu = nullptr;
	QAction *simpleViewAction = nullptr;
	QPushButton *backToControls = nullptr;
	QAction *advancedViewAction = nullptr;
	QPointer<DiscoveryDialog> discoveryDialog;
	QPointer<PanTiltLimitSettingDialog> panTiltLimitDialog;
	QPointer<PresetRenameDialog> presetRenameDialog;
	QPointer<AboutDialog> aboutDialog;
	QPointer<RelayDialog> relayDialog;
	QPointer<ScenePresetDialog> scenePresetDialog;
	Controller *const owner;
	bool compactLayout = false;
	QHash<int, bool> silentSlots;              // slot -> its camera did not answer its last question
	int statusSlot = 0;                        // the slot the status message is about, if any
	quint64 cameraGeneration = 0;              // changes whenever the camera in use changes or goes
	QHash<int, int> awaitingReadings;          // panel group -> readings on their way
	QHash<QObject *, quint64> operatorChanges; // control -> when the operator last changed it
	quint64 changeClock = 0;
	quint64 presetSelectionClock = 0; // bumped by every preset selection
	QJsonObject pendingSettings;      // stored values on their way to the file
	QString settingsWarning;          // what the status frame says about a settings file that cannot be written
	SpeedRange panSpeedRange{0, 0};
	SpeedRange tiltSpeedRange{0, 0};
	SpeedRange zoomSpeedRange{0, 0};
	SpeedRange focusSpeedRange{0, 0};
	CameraMode cameraMode = Disconnected;
	QString cameraKeyPrefix;
	QAction *panTiltLimitAction = nullptr;
	QAction *presetRenameAction = nullptr; // names the presets of the camera in use
};
