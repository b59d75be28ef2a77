#include "ui/PanTiltLimitController.h"
#include "ui/UiLog.h"

#include "camera/CameraFamily.h"
#include "camera/viscaGeneralOps.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"
#include "visca/viscaIpModule.h"

#include <QDebug>
#include <QJsonObject>
#include <QList>

namespace {

using Dialog = PanTiltLimitSettingDialog;

void storeLimit(const QString &key, int value)
{
	SettingsFile::updateLogged(lcUi, [&](QJsonObject &settings) { settings[key] = QString::number(value); });
}

// A limit command bound to the link's limit operation and the model's range for that side.
using LimitOperation = void (viscaIpModule::*)(int step, uint32_t max, uint32_t min);

CameraCommand limitCommand(const char *name, LimitOperation operation, uint32_t max, uint32_t min)
{
	CameraCommand command;
	command.name = name;
	command.run = [operation, max, min](viscaIpModule &link, int step) { (link.*operation)(step, max, min); };
	return command;
}

CameraCommand linkCommand(const char *name, void (viscaIpModule::*operation)())
{
	CameraCommand command;
	command.name = name;
	command.run = [operation](viscaIpModule &link, int) { (link.*operation)(); };
	return command;
}

} // namespace

QString PanTiltLimitController::limitKey(const QString &cameraKeyPrefix, Dialog::CommandType type)
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

bool PanTiltLimitController::speedCompensationSupported(const QString &cameraKeyPrefix)
{
	// The prefix ends with the model name.
	return CameraFamily::of(cameraKeyPrefix).speedCompensationSwitch;
}

void PanTiltLimitController::prepareDialog(PanTiltLimitSettingDialog *dialog, const QString &cameraKeyPrefix)
{
	if (!dialog)
		return;
	dialog->setEnabledPTZSpeedComp(speedCompensationSupported(cameraKeyPrefix));

	// A file that cannot be read shows four empty fields, like a camera that never had limits set.
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath()))
		settings = QJsonObject();
	const auto stored = [&](Dialog::CommandType type) {
		return settings.value(limitKey(cameraKeyPrefix, type)).toString();
	};
	dialog->setLastLimit(stored(Dialog::PanLeft), stored(Dialog::PanRight), stored(Dialog::TiltUp),
			     stored(Dialog::TiltDown));
}

PanTiltLimitSettingDialog *PanTiltLimitController::openDialog(QPointer<PanTiltLimitSettingDialog> &dialog,
							      QWidget *parent, const QString &cameraKeyPrefix,
							      Handler handler)
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

void PanTiltLimitController::runCommand(Dialog::CommandType type, int value, const viscaGeneralOps *ops,
					const QString &cameraKeyPrefix, const SetCommand &setCommand)
{
	QList<CameraCommand> commands;
	switch (type) {
	case Dialog::TiltUp:
		if (ops)
			commands << limitCommand("setTiltUpLimit", &viscaIpModule::setTiltUpLimit, ops->tiltUpMax(),
						 ops->tiltUpMin());
		break;
	case Dialog::PanLeft:
		if (ops)
			commands << limitCommand("setPanLeftLimit", &viscaIpModule::setPanLeftLimit, ops->panLeftMax(),
						 ops->panLeftMin());
		break;
	case Dialog::TiltDown:
		if (ops)
			commands << limitCommand("setTiltDownLimit", &viscaIpModule::setTiltDownLimit,
						 ops->tiltDownMax(), ops->tiltDownMin());
		break;
	case Dialog::PanRight:
		if (ops)
			commands << limitCommand("setPanRightLimit", &viscaIpModule::setPanRightLimit,
						 ops->panRightMax(), ops->panRightMin());
		break;
	case Dialog::SpeedComp: {
		CameraCommand command;
		command.name = "setPTZspeedComp";
		command.run = [](viscaIpModule &link, int on) { link.setPTZspeedComp(on); };
		commands << command;
		break;
	}
	case Dialog::LimitSwitch:
		// Switching the limits on only opens the fields; the camera hears of a limit when one is entered.
		// Off clears both corners, each as a command of its own.
		if (value == 0) {
			commands << linkCommand("setPanTilt_RightUpLimit_Clear",
						&viscaIpModule::setPanTilt_RightUpLimit_Clear);
			commands << linkCommand("setPanTilt_LeftDownLimit_Clear",
						&viscaIpModule::setPanTilt_LeftDownLimit_Clear);
		}
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
