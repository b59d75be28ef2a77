#include "discovery/CameraSearch.h"

#include "camera/CameraParse.h"
#include "camera/viscaGeneralOps.h"
#include "visca/viscaIpModule.h"

#include <QThread>

#include <memory>

CameraSearch::Options::Options() : discoveryPort(OnvifDiscovery::kDiscoveryPort), cameraPort(viscaIpModule::kViscaPort)
{
}

CameraSearch::CameraSearch(const Options &options, QObject *parent) : QObject(parent), options(options) {}

CameraSearch::~CameraSearch()
{
	if (!discoveryThread)
		return;
	discoveryThread->requestInterruption();
	identifyThread->requestInterruption();
	wake.notify_all();
	discoveryThread->wait();
	identifyThread->wait();
	{
		std::lock_guard<std::mutex> lock(mutex);
		Q_ASSERT(threadsDone);
	}
	delete discoveryThread;
	delete identifyThread;
}

void CameraSearch::start()
{
	if (discoveryThread)
		return;
	running = true;
	discoveryThread = QThread::create([this]() { discover(); });
	identifyThread = QThread::create([this]() { identifyAll(); });
	discoveryThread->setObjectName(QStringLiteral("Camera search"));
	identifyThread->setObjectName(QStringLiteral("Camera identification"));
	identifyThread->start();
	discoveryThread->start();
}

void CameraSearch::deliver(std::function<void()> call)
{
	QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CameraSearch::discover()
{
	OnvifDiscovery discovery(nullptr, options.discoveryPort);
	discovery.setFoundHandler([this](const QString &address, const QString &name) {
		{
			std::lock_guard<std::mutex> lock(mutex);
			waiting.push_back({address, name});
		}
		wake.notify_all();
		deliver([this, address, name]() { emit cameraFound(address, name); });
	});
	discovery.discovery();
	std::lock_guard<std::mutex> lock(mutex);
	discoveryDone = true;
	wake.notify_all();
}

void CameraSearch::identifyAll()
{
	CameraParse identifier(options.cameraPort);
	for (;;) {
		Found camera;
		{
			std::unique_lock<std::mutex> lock(mutex);
			wake.wait(lock, [this]() {
				return !waiting.empty() || discoveryDone ||
				       QThread::currentThread()->isInterruptionRequested();
			});
			if (waiting.empty() || QThread::currentThread()->isInterruptionRequested())
				break;
			camera = waiting.front();
			waiting.pop_front();
		}
		CameraEndpoint endpoint{camera.address, CameraDialect::ViscaOverIp, options.cameraPort};
		CamParamMap result = identifier.parseCamera(camera.address);
		for (CameraDialect other : {CameraDialect::BareUdp, CameraDialect::BareTcp}) {
			if (!result.empty() || !options.otherDialects ||
			    QThread::currentThread()->isInterruptionRequested())
				break;
			endpoint = {camera.address, other, CameraEndpoint::defaultPort(other)};
			result = CameraParse(endpoint.port, other).parseCamera(camera.address);
		}
		if (result.empty())
			continue;
		// The list shows what the camera announced; its capabilities are loaded again when a slot connects.
		const QString model = QString::fromStdString(result.begin()->second.first);
		delete result.begin()->second.second;
		deliver([this, camera, model, endpoint]() {
			++identifiedCount;
			emit cameraIdentified(camera.address, camera.name, model, endpoint);
		});
	}
	{
		std::unique_lock<std::mutex> lock(mutex);
		// Discovery may still be running after an interruption; it ends on its own within a probe interval.
		wake.wait(lock, [this]() { return discoveryDone; });
		threadsDone = true;
	}
	deliver([this]() {
		running = false;
		emit finished(identifiedCount);
	});
}
