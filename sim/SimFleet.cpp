#include "SimFleet.h"

#include "SimModels.h"
#include "SimThread.h"

#include <QSet>

QStringList SimFleet::defaultModels()
{
	QStringList models = {QStringLiteral("NX-B93K"), QStringLiteral("NX-D26G"), QStringLiteral("NX-W38B"),
			      QStringLiteral("NX-HX7"), QStringLiteral("NX-ZQ418")};
	for (const SimModel &m : SimModels::all()) {
		if (!models.contains(m.name))
			models.append(m.name);
	}
	return models;
}

QList<SimFleet::Camera> SimFleet::consecutive(int count, const QHostAddress &first, const QStringList &models)
{
	const QStringList fallback = defaultModels();
	const SimDiscoveryStyle styles[] = {SimDiscoveryStyle::D, SimDiscoveryStyle::Wsdd, SimDiscoveryStyle::Tns};
	QList<Camera> cameras;
	for (int i = 0; i < count; ++i) {
		Camera camera;
		camera.address = QHostAddress(first.toIPv4Address() + quint32(i));
		camera.model = i < models.size() ? models.at(i) : fallback.at(i % fallback.size());
		camera.discoveryStyle = styles[i % 3];
		cameras.append(camera);
	}
	return cameras;
}

SimFleet::SimFleet(Options given) : options(std::move(given)), thread(std::make_shared<SimThread>())
{
	for (const Camera &c : std::as_const(options.cameras)) {
		CameraSimulator::Options o;
		o.address = c.address;
		o.port = options.port;
		o.model = c.model;
		o.log = options.log;
		o.moveMsPerUnit = options.moveMsPerUnit;
		o.receivedLimit = options.receivedLimit;
		o.name = c.name;
		o.discoveryStyle = c.discoveryStyle;
		o.discoveryPort = options.discoveryPort;
		cameras.push_back(std::make_unique<CameraSimulator>(o, thread));
	}
}

SimFleet::~SimFleet()
{
	stop();
}

bool SimFleet::start(QString *error)
{
	if (running)
		return true;
	QSet<quint32> seen;
	for (const Camera &c : std::as_const(options.cameras)) {
		if (seen.contains(c.address.toIPv4Address())) {
			if (error)
				*error = QStringLiteral("address %1 is given to two cameras").arg(c.address.toString());
			return false;
		}
		seen.insert(c.address.toIPv4Address());
	}
	for (auto &camera : cameras) {
		if (!camera->start(error)) {
			for (auto &started : cameras)
				started->stop();
			thread->stop();
			return false;
		}
	}
	// Only now that every camera runs may a Probe at one of them make all of them answer.
	thread->runBlocking([this]() {
		for (auto &camera : cameras) {
			camera->setProbeHandler([this](const SimProbe &probe) {
				for (auto &each : cameras)
					each->answerProbe(probe);
			});
		}
	});
	running = true;
	return true;
}

void SimFleet::stop()
{
	if (!running)
		return;
	// Handlers run on the fleet's thread, so once this has run there none is running and none will start.
	thread->runBlocking([this]() {
		for (auto &camera : cameras)
			camera->setProbeHandler(nullptr);
	});
	for (auto &camera : cameras)
		camera->stop();
	thread->stop();
	running = false;
}

int SimFleet::size() const
{
	return int(cameras.size());
}

CameraSimulator &SimFleet::camera(int index)
{
	return *cameras.at(size_t(index));
}

const CameraSimulator &SimFleet::camera(int index) const
{
	return *cameras.at(size_t(index));
}

int SimFleet::probesReceived() const
{
	int total = 0;
	for (const auto &camera : cameras)
		total += camera->probesReceived();
	return total;
}
