#pragma once

#include "CameraSimulator.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class SimThread;

// Several simulated cameras of different models on several loopback addresses, in one process and on one thread.
// A Probe that reaches any camera of the fleet is answered with one ProbeMatch per camera, each sent from that
// camera's own discovery port, so that a search aimed at a single address finds the whole fleet, as a search by
// broadcast finds a whole network.
class SimFleet {
public:
	struct Camera {
		QHostAddress address;
		QString model;
		QString name; // empty: the model name
		SimDiscoveryStyle discoveryStyle = SimDiscoveryStyle::D;
	};

	struct Options {
		QList<Camera> cameras;
		quint16 port = 52381;         // every camera's VISCA port; 0 picks an ephemeral port for each
		quint16 discoveryPort = 3702; // every camera's discovery port; 0 picks an ephemeral port for each
		double moveMsPerUnit = CameraSimulator::kDefaultMoveMsPerUnit; // every camera's move time
		int receivedLimit = CameraSimulator::kDefaultReceivedLimit;    // datagrams each camera keeps
		bool log = false;
	};

	// The models a fleet uses when none are named: one of each identification family first, then the rest of the
	// product line in table order.
	static QStringList defaultModels();
	// `count` cameras on consecutive addresses from `first`, with the given models in order, then the default
	// models; the discovery styles cycle through d, wsdd and tns.
	static QList<Camera> consecutive(int count,
					 const QHostAddress &first = QHostAddress(QStringLiteral("127.0.0.2")),
					 const QStringList &models = {});

	explicit SimFleet(Options given);
	~SimFleet();
	SimFleet(const SimFleet &) = delete;
	SimFleet &operator=(const SimFleet &) = delete;

	// Starts every camera; false with a reason (and nothing left running) when any fails or when an address is
	// not loopback or appears twice.
	bool start(QString *error = nullptr);
	void stop();

	int size() const;
	CameraSimulator &camera(int index);
	const CameraSimulator &camera(int index) const;
	int probesReceived() const; // over all cameras

private:
	Options options;
	std::shared_ptr<SimThread> thread;
	std::vector<std::unique_ptr<CameraSimulator>> cameras;
	bool running = false;
};
