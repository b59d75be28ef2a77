#include "settings/Utils.h"

#include "settings/SettingsLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace {

Utils::ModalAnswerer &modalAnswerer()
{
	static Utils::ModalAnswerer answerer;
	return answerer;
}

bool ensureDirectory(const QString &directory)
{
	if (QDir().mkpath(directory))
		return true;
	qCDebug(lcSettings) << "It's failed to make a directory.";
	return false;
}

// An empty file is what a first read leaves behind; only content that is there but is no JSON object is broken.
bool holdsBrokenSettings(const QByteArray &content)
{
	if (content.trimmed().isEmpty())
		return false;
	QJsonParseError error;
	const QJsonDocument document = QJsonDocument::fromJson(content, &error);
	return error.error != QJsonParseError::NoError || !document.isObject();
}

// Keeps a settings file that could not be understood next to it, so a write never destroys what the operator
// may still recover by hand.
void keepBrokenFileAside(const QString &path)
{
	QFile file(path);
	if (!file.exists() || !file.open(QIODevice::ReadOnly))
		return;
	const QByteArray content = file.readAll();
	file.close();
	if (!holdsBrokenSettings(content))
		return;

	const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
	QString copyPath = path + QStringLiteral(".broken-") + stamp;
	for (int n = 1; QFileInfo::exists(copyPath); ++n)
		copyPath = path + QStringLiteral(".broken-") + stamp + QLatin1Char('-') + QString::number(n);
	if (QFile::copy(path, copyPath))
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path << "held no JSON object; kept it as" << copyPath;
	else
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path << "held no JSON object and could not be kept aside";
}

} // namespace

QString Utils::getAppDataPath()
{
	return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString Utils::settingsFilePath(const QString &directory)
{
	return directory + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

bool Utils::readJSONFromFile(QJsonObject &object, QString directory)
{
	if (!ensureDirectory(directory))
		return false;

	// Opened read-write so that a missing file is created empty: the file exists from the first read onward.
	const QString path = settingsFilePath(directory);
	QFile file(path);
	if (!file.open(QIODevice::ReadWrite)) {
		qCDebug(lcSettings) << "It's failed to open the file.";
		return false;
	}
	const QByteArray content = file.readAll();
	file.close();

	if (holdsBrokenSettings(content))
		qCWarning(lcSettings).noquote() << "Settings file" << path << "holds no JSON object; using defaults";
	object = QJsonDocument::fromJson(content).object();
	return true;
}

bool Utils::writeJSONToFile(QJsonObject &object, QString directory)
{
	if (!ensureDirectory(directory))
		return false;

	const QString path = settingsFilePath(directory);
	keepBrokenFileAside(path);

	// Written to a temporary file and renamed over the old one, so a crash or a full disk never leaves a
	// truncated settings file behind.
	QSaveFile file(path);
	if (!file.open(QIODevice::WriteOnly)) {
		qCDebug(lcSettings) << "It's failed to open the file.";
		return false;
	}
	const QByteArray content = QJsonDocument(object).toJson(QJsonDocument::Indented);
	// A short write on a full disk is not always reported as an error, so the size on disk is checked too.
	const bool complete = file.write(content) == content.size() && file.flush() && file.size() == content.size();
	if (!complete)
		file.cancelWriting();
	if (!complete || !file.commit()) {
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path << "could not be written:" << file.errorString();
		return false;
	}
	return true;
}

void Utils::showErrorMessage(QString text)
{
	QMessageBox box;
	box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
	box.setIcon(QMessageBox::Warning);
	box.setText(text);
	box.setStandardButtons(QMessageBox::Ok);
	execModal(box);
}

void Utils::setModalAnswerer(ModalAnswerer answerer)
{
	modalAnswerer() = std::move(answerer);
}

void Utils::execModal(QMessageBox &box)
{
	if (modalAnswerer()) {
		modalAnswerer()(box);
		return;
	}
	box.exec();
}

QList<std::string> Utils::sortMapByValue(QMap<std::string, int> &map)
{
	QList<std::pair<std::string, int>> pairs;
	for (auto it = map.cbegin(); it != map.cend(); ++it)
		pairs.append({it.key(), it.value()});
	std::sort(pairs.begin(), pairs.end(), [](const auto &a, const auto &b) { return a.second < b.second; });

	QList<std::string> keys;
	for (const auto &pair : pairs)
		keys.append(pair.first);
	return keys;
}
