#include "camera/CameraSelect.h"

#include "camera/CameraCatalogue.h"
#include "camera/CameraLog.h"
#include "camera/ProfileLocation.h"
#include "camera/viscaGeneralOps.h"
#include "settings/OperatorBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

std::string CameraSelect::CamCode2IDname(std::string code) const
{
	const CameraCatalogue::Model *model = CameraCatalogue::byCode(code);
	return model ? model->name : kUnknownModel;
}

QString CameraSelect::profilePathFor(std::string modelName)
{
	if (modelName == kUnknownModel)
		modelName = CameraCatalogue::defaultModel().name;
	return profileDirectory() + QString::fromStdString(modelName) + QLatin1String(kProfileSuffix);
}

viscaGeneralOps *CameraSelect::getCamParam(std::string modelName)
{
	if (modelName == kUnknownModel)
		modelName = CameraCatalogue::defaultModel().name;
	const QString fullPath = profilePathFor(modelName);

	if (QDir().exists(fullPath)) {
		auto *ops = new viscaGeneralOps(modelName, fullPath.toStdString());
		if (ops->isValid())
			return ops;
		// The file is there but holds no usable profile: the operator cannot fix that from a box about a
		// missing file, so the camera simply goes on without capabilities.
		qCWarning(lcCamera) << "ini Not Usable: " << fullPath << QString::fromStdString(ops->profileError());
		delete ops;
		return nullptr;
	}

	const QString text = QStringLiteral("ini Not Found: ") + fullPath;
	// The log keeps the text whether or not a box shows it: the operator who sends the log for help has
	// dismissed the box long ago.
	qCWarning(lcCamera).noquote() << text;
	// A box needs the GUI thread; the camera workers have only the log, and the window tells the operator.
	// Command-line users of the core library install no presenter, so they have only the log too.
	const QCoreApplication *application = QCoreApplication::instance();
	if (!application || QThread::currentThread() != application->thread())
		return nullptr;
	OperatorBox::present({QStringLiteral("error"), text});
	return nullptr;
}
