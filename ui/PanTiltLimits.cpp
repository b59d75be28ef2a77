#include "ui/PanTiltLimits.h"
#include "ui/UiLog.h"

#include "camera/CameraFamily.h"
#include "control/LimitCommands.h"
#include "settings/SettingsFile.h"

#include <QDebug>
#include <QJsonObject>
#include <QList>

namespace {

using Dialog = PanTiltLimitSettingDialog;

void storeLimit(const QString &key, int value)
{
	SettingsFile::updateLaterLogged(
		lcUi, [key, value](QJsonObject &settings) { settings[key] = QString::number(value); });
}

} // namespace

QString PanTiltLimits::limitKey(const QString &cameraKeyPrefix, Dialog::CommandType type)
{
	switch (type) {
	case Dialog::TiltUp:
		return cameraKeyPrefix + QStringLiteral("TiltUpLimit");
	case Dialog::PanLeft:
		return cameraKeyPrefix + QStringLiteral("PanLeftLimit");
	case Dialog::TiltDown:
		return cameraKeyPrefix + QStringLiteral("TiltDownLimit");
	case Dialog::PanRight:
		return cameraKeyPrefix + QStringLiteral("PanRightLimit");
	case Dialog::SpeedComp:
	case Dialog::LimitSwitch:
		break;
	}
	return QString();
}

bool PanTiltLimits::speedCompensationSupported(const QString &cameraKeyPrefix)
{
	// The prefix ends with the model name.
	return CameraFamily::of(cameraKeyPrefix).speedCompensationSwitch;
}

void PanTiltLimits::prepareDialog(PanTiltLimitSettingDialog *dialog, const QString &cameraKeyPrefix)
{
	if (!dialog)
		return;
	dialog->setEnabledPTZSpeedComp(speedCompensationSupported(cameraKeyPrefix));

	// A file that cannot be read shows four empty fields, like a camera that never had limits set.
	const QJsonObject settings = SettingsFile::read();
	const auto stored = [&](Dialog::CommandType type) {
		return settings.value(limitKey(cameraKeyPrefix, type)).toString();
	};
	dialog->setLastLimit(stored(Dialog::PanLeft), stored(Dialog::PanRight), stored(Dialog::TiltUp),
			     stored(Dialog::TiltDown));
}

PanTiltLimitSettingDialog *PanTiltLimits::openDialog(QPointer<PanTiltLimitSettingDialog> &dialog, QWidget *parent,
						     const QString &cameraKeyPrefix, Handler handler)
{
	if (!dialog) {
		dialog = new PanTiltLimitSettingDialog(parent);
		QObject::connect(dialog.data(), &PanTiltLimitSettingDialog::triggered, dialog.data(),
				 [handler](Dialog::CommandType type, int value) {
					 if (handler)
						 handler(type, value);
				 });
	}
	prepareDialog(dialog, cameraKeyPrefix);
	dialog->show();
	dialog->activateWindow();
	dialog->raise();
	return dialog;
}

void PanTiltLimits::runCommand(Dialog::CommandType type, int value, const viscaGeneralOps *ops,
			       const QString &cameraKeyPrefix, const SetCommand &setCommand)
{
	using Side = CameraCommands::LimitSide;
	QList<CameraCommand> commands;
	const auto limit = [&commands, ops](Side side) {
		if (ops)
			commands << CameraCommands::panTiltLimit(side, *ops);
	};
	switch (type) {
	case Dialog::TiltUp:
		limit(Side::TiltUp);
		break;
	case Dialog::PanLeft:
		limit(Side::PanLeft);
		break;
	case Dialog::TiltDown:
		limit(Side::TiltDown);
		break;
	case Dialog::PanRight:
		limit(Side::PanRight);
		break;
	case Dialog::SpeedComp:
		commands << CameraCommands::speedCompensation();
		break;
	case Dialog::LimitSwitch:
		// Switching the limits on only opens the fields; the camera hears of a limit when one is entered.
		// Off clears both corners.
		if (value == 0)
			commands << CameraCommands::clearPanTiltLimits();
		break;
	}

	const QString key = limitKey(cameraKeyPrefix, type);
	if (!ops && !key.isEmpty())
		qCDebug(lcUi) << "It's failed to set the pan/tilt limit: no capability profile.";
	if (setCommand) {
		for (const CameraCommand &command : commands)
			setCommand(command, value);
	}

	// Stored after the command was issued, whether or not a camera took it: the field shows it next time.
	if (!key.isEmpty())
		storeLimit(key, value);
}
