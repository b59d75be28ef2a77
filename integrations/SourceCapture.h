#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// A small picture of a source of the host (an OBS source) as it renders at the moment it is asked for. The host
// takes it off the UI thread and answers later, on the UI thread, once per capture() while the capture lives.
// Tests put a fake in its place.
class SourceCapture : public QObject {
	Q_OBJECT

public:
	struct Picture {
		QImage image;    // fits the asked box, keeping the source's aspect; null when there is none
		QString problem; // why there is none ("is not there", "has no size"), empty when there is one
	};
	using Done = std::function<void(const Picture &picture)>;

	using QObject::QObject;

	// On the UI thread.
	virtual void capture(const QString &sourceName, const QSize &box, Done done) = 0;
	// The sources pictures will be asked of. A host whose first picture of a source costs more than the next ones
	// (OBS makes the render's shaders then) pays that ahead, as each of them is there to be rendered, so that
	// storing a preset during a show does not.
	virtual void keepReady(const QStringList &sourceNames, const QSize &box)
	{
		Q_UNUSED(sourceNames);
		Q_UNUSED(box);
	}
};
