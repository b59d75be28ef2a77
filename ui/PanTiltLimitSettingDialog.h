#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class PanTiltLimitSettingDialog;
}

// The pan/tilt limit form. It only validates the angles the operator types, enables the fields, and reports
// every action through triggered(); the owner turns that into camera commands and stored settings.
class PanTiltLimitSettingDialog : public QDialog {
	Q_OBJECT

public:
	enum CommandType {
		TiltUp = 0,   // a tilt-up limit was entered
		PanLeft = 1,  // a pan-left limit was entered
		TiltDown = 2, // a tilt-down limit was entered
		PanRight = 3, // a pan-right limit was entered
		SpeedComp = 4,
		LimitSwitch = 5,
	};
	Q_ENUM(CommandType)

	enum LimitStatus {
		LimitsOff = 0, // the four limit fields are disabled and empty
		LimitsOn = 1,  // the four limit fields are enabled
	};
	Q_ENUM(LimitStatus)

	explicit PanTiltLimitSettingDialog(QWidget *parent = nullptr);
	~PanTiltLimitSettingDialog() override;

	void updateUI(LimitStatus status);
	void setPanLimitRange();
	void setTiltLimitRange();
	void setLastLimit(const QString &panLeft, const QString &panRight, const QString &tiltUp,
			  const QString &tiltDown);
	void setEnabledPanTiltLimitButton(bool enabled);
	void setEnabledPTZSpeedComp(bool enabled);

signals:
	// `value` is the entered angle for the four limits, and 1 (on) or 0 (off) for the two switches.
	void triggered(PanTiltLimitSettingDialog::CommandType type, int value);

private:
	std::unique_ptr<Ui::PanTiltLimitSettingDialog> ui;
};
