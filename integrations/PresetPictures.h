#pragma once

#include "settings/Utils.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

class CameraPool;
class SourceCapture;

// The pictures operators recognise presets by: when a preset is stored, a small picture of the OBS source that shows
// the slot's camera (the settings key "Camera<n>Source") is taken and kept beside the settings file, as
// "PresetPictures/Camera<n>-<preset>.png"; a store again replaces it. A slot without a source has no pictures. A
// source that is gone or renders nothing (no size, all black) leaves the preset without a picture, and a picture
// that cannot be written leaves it as it was; either is one log line, and the preset is stored at the camera all
// the same. Files are written off the UI thread, one after the other in the order of the stores. Lives on the UI
// thread; the static readers may be used on any thread.
class PresetPictures : public QObject {
	Q_OBJECT

public:
	// The box a picture fits in.
	static constexpr int kWidth = 160;
	static constexpr int kHeight = 90;

	explicit PresetPictures(const QString &directory = Utils::getAppDataPath(), QObject *parent = nullptr);
	// Waits for the files still being written.
	~PresetPictures() override;

	// Where pictures are taken from; none (the default) takes none. The capture must outlive this or be
	// destroyed before it.
	void setCapture(SourceCapture *capture);
	// Takes the picture of `slot`'s preset as its source shows it now.
	void take(int slot, int preset);
	// Takes the picture of every preset stored through the pool's doors, whoever stored it.
	void follow(CameraPool *pool);
	// The stored picture, null when there is none.
	QImage picture(int slot, int preset) const;

	// The PNG file's content; empty when the slot has no source or the preset no picture.
	static QByteArray png(int slot, int preset, const QString &directory = Utils::getAppDataPath());
	static QString path(int slot, int preset, const QString &directory);

signals:
	// The picture of the preset was written or removed.
	void pictureChanged(int slot, int preset);

private:
	void keep(int slot, int preset, const QString &source, const QImage &image, const QString &problem);
	// Tells the capture which sources the slots show.
	void keepSourcesReady();

	const QString directory;
	QPointer<SourceCapture> capture;
	bool followsSources = false;
	QThreadPool files; // one thread: the writes and removals keep the order of the stores
};
