#include "integrations/PresetPictures.h"

#include "control/CameraPool.h"
#include "integrations/IntegrationLog.h"
#include "integrations/SourceCapture.h"
#include "settings/SettingsFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr const char *kFolder = "PresetPictures";
// A source showing nothing renders black; a dark shot still has some pixel above this.
constexpr int kBlackLevel = 16;

QString sourceOf(int slot, const QString &directory)
{
	return SettingsFile::read(directory).value(SettingsFile::sourceKey(slot)).toString();
}

// A source's name as the log quotes it: a JSON string, so that a name with a newline cannot forge a line of its own.
QByteArray quoted(const QString &name)
{
	const QByteArray array = QJsonDocument(QJsonArray{name.left(64)}).toJson(QJsonDocument::Compact);
	return array.mid(1, array.size() - 2);
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
	if (!QDir().mkpath(QFileInfo(path).absolutePath()))
		return QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).absolutePath());
	QSaveFile file(path);
	if (!file.open(QIODevice::WriteOnly) || file.write(encoded) != encoded.size() || !file.commit())
		return file.errorString();
	return QString();
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
}

QString PresetPictures::path(int slot, int preset, const QString &directory)
{
	return QStringLiteral("%1/%2/Camera%3-%4.png").arg(directory, QLatin1String(kFolder)).arg(slot).arg(preset);
}

QByteArray PresetPictures::png(int slot, int preset, const QString &directory)
{
	if (!SettingsFile::isSlot(slot) || !SettingsFile::isPreset(preset) || sourceOf(slot, directory).isEmpty())
		return QByteArray();
	QFile file(path(slot, preset, directory));
	return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
			QFile::remove(file);
			qCWarning(lcIntegrations, "Preset %d of camera %d has no picture: the source %s %s", preset,
				  slot, quoted(source).constData(), qUtf8Printable(missing));
		} else if (!failure.isEmpty()) {
			qCWarning(lcIntegrations, "The picture of preset %d of camera %d was not written to %s: %s",
				  preset, slot, qUtf8Printable(file), qUtf8Printable(failure));
		}
		QMetaObject::invokeMethod(
			owner, [owner, slot, preset]() { emit owner->pictureChanged(slot, preset); },
			Qt::QueuedConnection);
	});
}
