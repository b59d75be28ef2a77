#include "settings/SettingsStorage.h"

#include "settings/SettingsLog.h"
#include "settings/UnsavedSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The settings hold the relay's secret: only their owner reads them. A mode the owner made stricter stays.
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

mode_t settingsMode(const QString &path)
{
	struct stat info{};
	if (::stat(QFile::encodeName(path).constData(), &info) != 0)
		return kOwnerOnly;
	return info.st_mode & kOwnerOnly;
}

// A file that an older version left readable by others holds the relay's secret all the same: it becomes its
// owner's alone when it is read, not only at the next write.
void keepToItsOwner(const QFile &file, const QString &path)
{
	struct stat info{};
	if (::fstat(file.handle(), &info) != 0 || (info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
		return;
	if (::fchmod(file.handle(), info.st_mode & kOwnerOnly) == 0)
		qCInfo(lcSettings).noquote()
			<< "Settings file" << path << "was readable by others; only its owner reads it now";
}

// Set by the window on the UI thread, called by whichever thread writes.
struct WriteReporters {
	std::mutex mutex;
	SettingsStorage::WriteFailureReporter failure;
	SettingsStorage::WriteRecoveryReporter recovery;
};

WriteReporters &writeReporters()
{
	static WriteReporters reporters;
	return reporters;
}

bool ensureDirectory(const QString &directory)
{
	if (QDir().mkpath(directory))
		return true;
	qCDebug(lcSettings) << "It's failed to make a directory.";
	return false;
}

bool isBlank(const QByteArray &content)
{
	return std::all_of(content.cbegin(), content.cend(), [](char c) { return std::isspace(uchar(c)); });
}

// The settings object in `content`. An empty file is what a first read leaves behind; only content that is there
// but is no JSON object is `broken`.
QJsonObject parseSettings(const QByteArray &content, bool &broken)
{
	broken = false;
	if (isBlank(content))
		return {};
	QJsonParseError error;
	const QJsonDocument document = QJsonDocument::fromJson(content, &error);
	broken = error.error != QJsonParseError::NoError || !document.isObject();
	return broken ? QJsonObject() : document.object();
}

// Keeps a settings file that could not be understood next to it, so a write never destroys what the operator
// may still recover by hand.
void keepBrokenFileAside(const QString &path)
{
	QFile file(path);
	if (!file.exists() || !file.open(QIODevice::ReadOnly))
		return;
	bool broken = false;
	parseSettings(file.readAll(), broken);
	file.close();
	if (!broken)
		return;

	const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
	QString copyPath = path + QStringLiteral(".broken-") + stamp;
	for (int n = 1; QFileInfo::exists(copyPath); ++n)
		copyPath = path + QStringLiteral(".broken-") + stamp + QLatin1Char('-') + QString::number(n);
	if (QFile::copy(path, copyPath) && ::chmod(QFile::encodeName(copyPath).constData(), kOwnerOnly) == 0)
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path << "held no JSON object; kept it as" << copyPath;
	else
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path << "held no JSON object and could not be kept aside";
}

// A write interrupted by a crash or a power cut can leave QSaveFile's temporary file behind: the settings file's
// name, a dot and six letters. Nothing of this run has written yet when a directory is first used, so any such
// file there is stale.
void removeStaleTemporaryFiles(const QString &directory)
{
	static std::mutex mutex;
	static QSet<QString> looked;
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (looked.contains(directory))
			return;
		looked.insert(directory);
	}

	const QString name = QLatin1String(SettingsStorage::kFileName);
	const QRegularExpression temporary(QLatin1Char('^') + QRegularExpression::escape(name) +
					   QStringLiteral("\\.[A-Za-z0-9]{6}$"));
	const QDir dir(directory);
	const QStringList candidates = dir.entryList({name + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
	for (const QString &candidate : candidates) {
		if (!temporary.match(candidate).hasMatch())
			continue;
		if (QFile::remove(dir.filePath(candidate)))
			qCInfo(lcSettings).noquote() << "Removed" << dir.filePath(candidate)
						     << "left behind by an interrupted settings write";
		else
			qCDebug(lcSettings).noquote() << "Could not remove the stale file" << dir.filePath(candidate);
	}
}

// The design's promise that the file exists from the first read onward, kept where the directory allows it; a
// file that cannot be created reads as defaults.
void createIfMissing(const QString &path)
{
	if (QFileInfo::exists(path))
		return;
	const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
	if (fd >= 0)
		::close(fd);
	else if (errno != EEXIST)
		qCDebug(lcSettings).noquote() << "Settings file" << path << "cannot be created:" << strerror(errno);
}

// Writes `content` through a temporary file and a rename. Empty on success, else why it failed.
QString saveAtomically(const QString &path, const QByteArray &content)
{
	const mode_t mode = settingsMode(path);
	QSaveFile file(path);
	if (!file.open(QIODevice::WriteOnly)) {
		qCDebug(lcSettings) << "It's failed to open the file.";
		return file.errorString();
	}
	// Before a byte is written: the temporary file becomes the settings file, and nobody else reads it meanwhile.
	if (::fchmod(file.handle(), mode) != 0) {
		file.cancelWriting();
		return QStringLiteral("its mode cannot be set (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
	}
	// A short write on a full disk is not always reported as an error, so the size on disk is checked too.
	const bool complete = file.write(content) == content.size() && file.flush() && file.size() == content.size();
	if (!complete)
		file.cancelWriting();
	if (!complete || !file.commit())
		return file.errorString();
	return QString();
}

// The reporters may touch widgets: they are called on the application's thread, whichever thread wrote, and
// the reporter installed when the call arrives there is the one told.
void onApplicationThread(std::function<void()> call)
{
	QCoreApplication *application = QCoreApplication::instance();
	if (!application || QThread::currentThread() == application->thread())
		call();
	else
		QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
}

void reportWriteFailure(const QString &path, const QString &reason)
{
	qCWarning(lcSettings).noquote() << "Settings file" << path << "could not be written:" << reason
					<< "- the changes are kept until OBS closes";
	onApplicationThread([path, reason]() {
		SettingsStorage::WriteFailureReporter report;
		{
			std::lock_guard<std::mutex> lock(writeReporters().mutex);
			report = writeReporters().failure;
		}
		if (report)
			report(path, reason);
	});
}

void reportWriteRecovery(const QString &path)
{
	qCInfo(lcSettings).noquote() << "Settings file" << path << "written again; no change is unsaved";
	onApplicationThread([path]() {
		SettingsStorage::WriteRecoveryReporter report;
		{
			std::lock_guard<std::mutex> lock(writeReporters().mutex);
			report = writeReporters().recovery;
		}
		if (report)
			report(path);
	});
}

void keepUnsaved(const QString &path, const QJsonObject &object, const QByteArray &content, const QString &reason)
{
	if (UnsavedSettings::keep(path, object, content))
		reportWriteFailure(path, reason);
	else
		qCDebug(lcSettings).noquote() << "Settings file" << path << "still cannot be written:" << reason;
}

} // namespace

QString SettingsStorage::defaultDirectory()
{
	return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString SettingsStorage::filePath(const QString &directory)
{
	return directory + QLatin1Char('/') + QLatin1String(kFileName);
}

bool SettingsStorage::readContent(QByteArray &content, const QString &directory)
{
	const QString path = filePath(directory);
	removeStaleTemporaryFiles(directory);
	if (!ensureDirectory(directory))
		return false;

	createIfMissing(path);
	QFile file(path);
	if (!file.open(QIODevice::ReadOnly)) {
		if (!file.exists()) {
			content.clear();
			return true;
		}
		qCDebug(lcSettings) << "It's failed to open the file.";
		return false;
	}
	keepToItsOwner(file, path);
	content = file.readAll();
	return true;
}

QJsonObject SettingsStorage::parseContent(const QByteArray &content, const QString &path)
{
	bool broken = false;
	QJsonObject object = parseSettings(content, broken);
	if (broken)
		qCWarning(lcSettings).noquote() << "Settings file" << path << "holds no JSON object; using defaults";
	return object;
}

QByteArray SettingsStorage::contentOf(const QJsonObject &object)
{
	return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool SettingsStorage::write(const QJsonObject &object, const QString &directory, QByteArray *written)
{
	const QString path = filePath(directory);
	removeStaleTemporaryFiles(directory);
	const QByteArray content = contentOf(object);

	QString failure;
	if (ensureDirectory(directory)) {
		keepBrokenFileAside(path);
		failure = saveAtomically(path, content);
	} else {
		failure = QStringLiteral("its folder cannot be created");
	}

	if (failure.isEmpty()) {
		if (UnsavedSettings::forget(path))
			reportWriteRecovery(path);
		if (written)
			*written = content;
		return true;
	}
	keepUnsaved(path, object, content, failure);
	return false;
}

void SettingsStorage::keepUnwritten(const QJsonObject &object, const QString &directory, const QString &reason)
{
	keepUnsaved(filePath(directory), object, contentOf(object), reason);
}

void SettingsStorage::setWriteFailureReporter(WriteFailureReporter reporter)
{
	std::lock_guard<std::mutex> lock(writeReporters().mutex);
	writeReporters().failure = std::move(reporter);
}

void SettingsStorage::setWriteRecoveryReporter(WriteRecoveryReporter reporter)
{
	std::lock_guard<std::mutex> lock(writeReporters().mutex);
	writeReporters().recovery = std::move(reporter);
}
