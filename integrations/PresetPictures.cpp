#include "integrations/PresetPictures.h"

#include "control/CameraPool.h"
#include "integrations/IntegrationLog.h"
#include "integrations/SourceCapture.h"
#include "settings/ConfinedFile.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonObject>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <mutex>

namespace {

constexpr const char *kFolder = "PresetPictures";
// A source showing nothing renders black; a dark shot still has some pixel above this.
constexpr int kBlackLevel = 16;
// A picture of 160 by 90 pixels takes some 43 KiB as a PNG at worst; anything much larger is no picture of ours.
constexpr qint64 kMaxFileBytes = 256 * 1024;
const QByteArray kPngSignature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

// Said once per file (or folder) and reason: GetPresets may ask for the same file many times a second.
void refuseOnce(const QString &what, const QString &why)
{
	static std::mutex mutex;
	static QSet<QString> told;
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (told.size() > 1000 || told.contains(what + why))
			return;
		told.insert(what + why);
	}
	qCWarning(lcIntegrations, "The %s is not used: it %s", qUtf8Printable(what), qUtf8Printable(why));
}

QString sourceOf(int slot, const QString &directory)
{
	return SettingsFile::read(directory).value(SettingsFile::sourceKey(slot)).toString();
}

bool isBlack(const QImage &image)
{
	const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
	for (int y = 0; y < rgb.height(); ++y) {
		const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
		for (int x = 0; x < rgb.width(); ++x) {
			if (std::max({qRed(line[x]), qGreen(line[x]), qBlue(line[x])}) > kBlackLevel)
				return false;
		}
	}
	return true;
}

// Empty when written, else why not.
QString write(const QString &path, const QImage &image)
{
	QByteArray encoded;
	QBuffer buffer(&encoded);
	buffer.open(QIODevice::WriteOnly);
	if (!image.save(&buffer, "PNG"))
		return QStringLiteral("the picture could not be encoded");
	const QFileInfo file(path);
	return ConfinedFile::write(file.absolutePath(), file.fileName(), encoded);
}

} // namespace

PresetPictures::PresetPictures(const QString &directory, QObject *parent) : QObject(parent), directory(directory)
{
	files.setMaxThreadCount(1);
}

PresetPictures::~PresetPictures()
{
	files.waitForDone();
}

void PresetPictures::setCapture(SourceCapture *source)
{
	capture = source;
	if (!followsSources) {
		followsSources = true;
		connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, [this](const QString &changed) {
			if (changed == directory)
				keepSourcesReady();
		});
	}
	keepSourcesReady();
}

void PresetPictures::keepSourcesReady()
{
	if (!capture)
		return;
	QStringList sources;
	for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
		const QString source = sourceOf(slot, directory);
		if (!source.isEmpty() && !sources.contains(source))
			sources << source;
	}
	capture->keepReady(sources, QSize(kWidth, kHeight));
}

QString PresetPictures::path(int slot, int preset, const QString &directory)
{
	return QStringLiteral("%1/%2/Camera%3-%4.png").arg(directory, QLatin1String(kFolder)).arg(slot).arg(preset);
}

QByteArray PresetPictures::png(int slot, int preset, const QString &directory)
{
	if (!SettingsFile::isSlot(slot) || !SettingsFile::isPreset(preset) || sourceOf(slot, directory).isEmpty())
		return QByteArray();
	// The folder is the operator's: whatever else was put there (a link to a secret, a huge file, something
	// that is no picture) is not handed to the program that asks.
	const QFileInfo file(path(slot, preset, directory));
	const ConfinedFile::Content content = ConfinedFile::read(file.absolutePath(), file.fileName(), kMaxFileBytes);
	QString problem = content.problem;
	if (problem.isEmpty() && content.size > kMaxFileBytes)
		problem =
			QStringLiteral("holds %1 bytes, more than a picture's %2").arg(content.size).arg(kMaxFileBytes);
	else if (problem.isEmpty() && !content.bytes.startsWith(kPngSignature))
		problem = QStringLiteral("is no PNG picture");
	if (content.missing)
		return QByteArray();
	if (!problem.isEmpty()) {
		refuseOnce(content.folderProblem ? QStringLiteral("preset pictures' folder ") + file.absolutePath()
						 : QStringLiteral("preset picture ") + file.filePath(),
			   problem);
		return QByteArray();
	}
	return content.bytes;
}

QImage PresetPictures::picture(int slot, int preset) const
{
	return QImage::fromData(png(slot, preset, directory), "PNG");
}

void PresetPictures::follow(CameraPool *pool)
{
	// A store from another thread (a request) reaches this thread queued: the capture lives here.
	connect(pool, &CameraPool::presetStored, this, [this](int slot, int preset) { take(slot, preset); });
}

void PresetPictures::take(int slot, int preset)
{
	const QString source = sourceOf(slot, directory);
	if (!capture || source.isEmpty() || !SettingsFile::isSlot(slot) || !SettingsFile::isPreset(preset))
		return;
	QPointer<PresetPictures> self(this);
	capture->capture(source, QSize(kWidth, kHeight),
			 [self, slot, preset, source](const SourceCapture::Picture &shot) {
				 if (self)
					 self->keep(slot, preset, source, shot.image, shot.problem);
			 });
}

void PresetPictures::keep(int slot, int preset, const QString &source, const QImage &image, const QString &problem)
{
	// A picture of another shot would mislead more than none: what the preset had before goes either way.
	const QString file = path(slot, preset, directory);
	// The destructor waits for this task: the object outlives it.
	PresetPictures *owner = this;
	files.start([owner, slot, preset, source, image, problem, file]() {
		const QString missing = !problem.isEmpty() ? problem
					: image.isNull()   ? QStringLiteral("has no size")
					: isBlack(image)   ? QStringLiteral("renders nothing but black")
							   : QString();
		const QString failure = missing.isEmpty() ? write(file, image) : QString();
		if (!missing.isEmpty()) {
			ConfinedFile::remove(QFileInfo(file).absolutePath(), QFileInfo(file).fileName());
			qCWarning(lcIntegrations, "Preset %d of camera %d has no picture: the source %s %s", preset,
				  slot, OutsideText::quoted(source).constData(), qUtf8Printable(missing));
		} else if (!failure.isEmpty()) {
			qCWarning(lcIntegrations, "The picture of preset %d of camera %d was not written to %s: %s",
				  preset, slot, qUtf8Printable(file), qUtf8Printable(failure));
		}
		QMetaObject::invokeMethod(
			owner, [owner, slot, preset]() { emit owner->pictureChanged(slot, preset); },
			Qt::QueuedConnection);
	});
}
