#pragma once

#include "control/CameraCommand.h"
#include "ui/PanTiltLimitSettingDialog.h"

#include <QPointer>
#include <QString>

#include <functional>

class QWidget;
class viscaGeneralOps;

// The controller window's side of the pan/tilt limit dialog: opening (and reusing) it, and turning its
// triggered() signal into camera commands and stored limits. The window passes in what it owns: the capability
// object in use, the camera key prefix and its command wrapper.
namespace PanTiltLimits {

// The window's command wrapper: queues a camera command with a value, false when there is no camera.
using SetCommand = std::function<bool(const CameraCommand &command, int value)>;
using Handler = std::function<void(PanTiltLimitSettingDialog::CommandType type, int value)>;

// The stored-limit keys under the camera prefix.
QString limitKey(const QString &cameraKeyPrefix, PanTiltLimitSettingDialog::CommandType type);

// Whether the connected model offers the PTZ speed compensation switch: not the D26 family nor the ZQ418 family.
bool speedCompensationSupported(const QString &cameraKeyPrefix);

// Creates the dialog when `dialog` holds none (parent `parent`, triggered() connected to `handler`; it is not
// deleted on close, later openings reuse it), refreshes the speed compensation switch and the stored limits of
// `cameraKeyPrefix`, then shows, activates and raises it. Returns the dialog.
PanTiltLimitSettingDialog *openDialog(QPointer<PanTiltLimitSettingDialog> &dialog, QWidget *parent,
				      const QString &cameraKeyPrefix, Handler handler);

// The refresh part of openDialog(), for a dialog that already exists.
void prepareDialog(PanTiltLimitSettingDialog *dialog, const QString &cameraKeyPrefix);

// One triggered() of the dialog: the camera command(s) through `setCommand`, with the limit ranges of `ops`,
// then, for the four limits, the angle stored under `cameraKeyPrefix`. Without a capability object no limit can
// be converted, so nothing is sent; the angle is stored all the same.
void runCommand(PanTiltLimitSettingDialog::CommandType type, int value, const viscaGeneralOps *ops,
		const QString &cameraKeyPrefix, const SetCommand &setCommand);

} // namespace PanTiltLimits
