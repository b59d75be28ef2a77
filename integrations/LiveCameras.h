#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class SceneSource;

// Which cameras are live: in Studio Mode, those whose OBS source ("Camera<n>Source") is shown on program. A live
// camera is known by its address, so every slot that reaches it is protected, whichever slot names the source.
// The slots' doors apply what that means (CameraDoor). Without Studio Mode no camera is live. Follows OBS's events
// only. Lives on the UI thread.
class LiveCameras : public QObject {
	Q_OBJECT

public:
	LiveCameras(SceneSource *scenes, QObject *parent = nullptr);

	QSet<QString> liveAddresses() const { return live; }
	// Whether slot 1..8 reaches a live camera.
	bool isLive(int slot) const;

signals:
	void changed(const QSet<QString> &addresses);

private:
	void update();

	QPointer<SceneSource> scenes;
	QSet<QString> live;
};
