#pragma once

#include "integrations/SourceCapture.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QHash>
#include <QSet>

#include <deque>
#include <mutex>
#include <optional>

// Pictures of OBS sources from OBS's own rendering. The UI thread queues a capture; on OBS's graphics thread, in a
// callback of the main render, one frame renders the source into a small texture and stages it for reading, and a
// later frame maps what the GPU copied meanwhile (a map in the same frame would stall until the GPU caught up) and
// hands the pixels to the UI thread, queued. Each frame does one of the two steps for one capture at most, so a
// capture never costs a frame more than a small render and a copy; the time taken is in the log. The render
// callback goes when OBS exits or this object goes, whichever is first, and the graphics resources with it.
// Lives on the UI thread.
class ObsSourceCapture : public SourceCapture {
	Q_OBJECT

public:
	explicit ObsSourceCapture(QObject *parent = nullptr);
	~ObsSourceCapture() override;

	void capture(const QString &sourceName, const QSize &box, Done done) override;
	void keepReady(const QStringList &sourceNames, const QSize &box) override;

private:
	struct Waiting {
		quint64 id = 0;
		obs_weak_source_t *source = nullptr;
		QSize box;
	};
	struct Staged {
		quint64 id = 0; // 0: a picture taken ahead, which nobody waits for
		int width = 0;
		int height = 0;
		quint64 renderNs = 0;
	};

	static void onRender(void *self, uint32_t cx, uint32_t cy);
	static void onFrontendEvent(enum obs_frontend_event event, void *self);
	// On the graphics thread.
	void renderStep();
	void stage(const Waiting &waiting);
	void readStaged();
	void readyNextSource();
	// On the UI thread.
	void finish(quint64 id, const Picture &picture);
	void stop();

	std::mutex mutex; // guards `waiting`, `running` and what is kept ready between the UI and the graphics thread
	std::deque<Waiting> waiting;
	bool running = false;
	QStringList readySources;
	QSize readyBox;
	// The graphics thread's own.
	gs_texrender_t *texture = nullptr;
	gs_stagesurf_t *staging = nullptr;
	std::optional<Staged> staged;
	QSet<QString> rendered; // sources rendered once
	quint64 lastReadyLook = 0;
	// The UI thread's own.
	QHash<quint64, Done> answers;
	quint64 nextId = 0;
};
