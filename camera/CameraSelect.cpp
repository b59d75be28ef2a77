#include "camera/CameraSelect.h"

#include "camera/ProfileLocation.h"
#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QMessageBox>

CameraSelect::CameraSelect() : camIdList(new CamIdList) {}

CameraSelect::~CameraSelect()
{
	delete camIdList;
}

std::string CameraSelect::CamCode2IDname(std::string code) const
{
	for (const CamIdList::Row &row : camIdList->rows()) {
		if (row.code == code)
			return row.model;
	}
	return kUnknownModel;
}

QString CameraSelect::profilePathFor(std::string modelName)
{
	if (modelName == kUnknownModel)
		modelName = kDefaultModel;
	return profileDirectory() + QString::fromStdString(modelName) + QLatin1String(kProfileSuffix);
}

viscaGeneralOps *CameraSelect::getCamParam(std::string modelName)
{
	if (modelName == kUnknownModel)
		modelName = kDefaultModel;
	const QString fullPath = profilePathFor(modelName);

	if (QDir().exists(fullPath)) {
		auto *ops = new viscaGeneralOps(modelName, fullPath.toStdString());
		if (ops->isValid())
			return ops;
		// The file is there but holds no usable profile: the operator cannot fix that from a box about a
		// missing file, so the camera simply goes on without capabilities.
		qWarning() << "ini Not Usable: " << fullPath << QString::fromStdString(ops->profileError());
		delete ops;
		return nullptr;
	}

	const QString text = QStringLiteral("ini Not Found: ") + fullPath;
	// A box needs a GUI application; command-line users of the core library get the text in the log instead.
	if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
		qWarning().noquote() << text;
		return nullptr;
	}
	QMessageBox box;
	box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
	box.setWindowTitle(QStringLiteral("error"));
	box.setText(text);
	Utils::execModal(box);
	return nullptr;
}
