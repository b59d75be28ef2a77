#pragma once

#include "discovery/OnvifDiscovery.h"

#include "settings/CameraEndpoint.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QThread;

// One camera search off the UI thread. WS-Discovery probes run on one thread and every camera that answers is
// identified on another, so the probe cadence never waits for a slow camera and each camera is reported the moment
// it is identified. Signals are emitted on the thread that created the search. Deleting the search ends it: both
// threads stop waiting at once and are joined.
class CameraSearch : public QObject {
	Q_OBJECT

public:
	struct Options {
		Options();
		quint16 discoveryPort; // where Probes go: the WS-Discovery port
		quint16 cameraPort;    // where identification inquiries go: the VISCA port
		// A camera that does not answer VISCA over IP is asked again in bare VISCA, over UDP and then TCP, each
		// on its usual port.
		bool otherDialects = true;
	};

	explicit CameraSearch(const Options &options, QObject *parent = nullptr);
	~CameraSearch() override;
	CameraSearch(const CameraSearch &) = delete;
	CameraSearch &operator=(const CameraSearch &) = delete;

	// Starts the search; a search runs once.
	void start();
	bool isRunning() const { return running; }

signals:
	// A camera answered the search (not identified yet).
	void cameraFound(const QString &address, const QString &name);
	// A camera that answered was identified: its address, the name it announced, its model and the dialect (and
	// port) it answered in.
	void cameraIdentified(const QString &address, const QString &name, const QString &model,
			      const CameraEndpoint &endpoint);
	// The search is over: `identified` cameras were reported.
	void finished(int identified);

private:
	struct Found {
		QString address;
		QString name;
	};

	void discover();
	void identifyAll();
	void deliver(std::function<void()> call);

	const Options options;
	QThread *discoveryThread = nullptr;
	QThread *identifyThread = nullptr;
	bool running = false;
	int identifiedCount = 0; // owner's thread

	std::mutex mutex;
	std::condition_variable wake;
	std::deque<Found> waiting;  // under mutex
	bool discoveryDone = false; // under mutex
	bool threadsDone = false;   // under mutex; hands the threads' last writes over to the joining thread
};
