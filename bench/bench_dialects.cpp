// One command exchange (the interface clear: acknowledge and completion) and one inquiry (power) in each dialect,
// each against its own simulated camera on loopback, measured in turns and reported beside VISCA over IP's: on a
// link kept open, and on a new link (its connect, the address set probe, included).
//
// header:   VISCA over IP, the usual dialect.
// bare UDP: the message alone in a datagram; replies get their header made up by the link.
// TCP:      the message alone on a stream; replies are cut at their FF. A new link opens a new stream.
// reset:    VISCA over IP to a camera that keeps the last sequence number: a new link starts its numbers again,
//           so its first message is refused and the camera reset, which the new-link figure shows.
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "ReceivedCommands.h"
#include "visca/viscaIpModule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 300;
constexpr int kWarmUp = 20;

using Carriage = SimViscaEndpoint::Carriage;

struct Kind {
	const char *name;
	CameraDialect dialect;
	Carriage carriage;
	bool strict;
	std::unique_ptr<CameraSimulator> camera;
	std::unique_ptr<viscaIpModule> link;
	std::vector<double> kept;
	std::vector<double> fresh;
	int failures = 0;
};

bool startKind(Kind &kind, int index)
{
	CameraSimulator::Options options;
	options.address = QHostAddress(QStringLiteral("127.0.0.%1").arg(140 + index));
	options.port = 0;
	options.discovery = false;
	options.carriage = kind.carriage;
	options.quirks.strictSequence = kind.strict;
	kind.camera = startSimulatedCamera(options);
	if (!kind.camera)
		return false;
	kind.link = std::make_unique<viscaIpModule>();
	kind.link->setDialect(kind.dialect);
	kind.link->onConnectToCamera(options.address.toString(), kind.camera->port());
	return true;
}

void timeOnce(Kind &kind, bool newLink, std::vector<double> *samples)
{
	QElapsedTimer clock;
	clock.start();
	if (newLink) {
		kind.link = std::make_unique<viscaIpModule>();
		kind.link->setDialect(kind.dialect);
		kind.link->onConnectToCamera(kind.camera->address().toString(), kind.camera->port());
	}
	kind.link->setCmdClear();
	const bool commandOk = kind.link->lastExchangeOk();
	const bool inquiryOk = kind.link->isPowerOK();
	const double us = clock.nsecsElapsed() / 1000.0;
	if (!commandOk || !inquiryOk)
		++kind.failures;
	else if (samples)
		samples->push_back(us);
	kind.camera->clearReceived();
}

} // namespace

int main(int argc, char **argv)
{
	QCoreApplication app(argc, argv);
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nkavren.link.info=false"));

	Kind kinds[] = {{"header", CameraDialect::ViscaOverIp, Carriage::Header, false, {}, {}, {}, {}, 0},
			{"bare UDP", CameraDialect::BareUdp, Carriage::BareUdp, false, {}, {}, {}, {}, 0},
			{"TCP", CameraDialect::BareTcp, Carriage::Tcp, false, {}, {}, {}, {}, 0},
			{"reset", CameraDialect::ViscaOverIp, Carriage::Header, true, {}, {}, {}, {}, 0}};
	for (int i = 0; i < int(std::size(kinds)); ++i)
		if (!startKind(kinds[i], i)) {
			std::fprintf(stderr, "the %s camera did not start\n", kinds[i].name);
			return 1;
		}
	// Turns: a change of load on the machine weighs on every dialect alike.
	for (int round = 0; round < kWarmUp + kRuns; ++round)
		for (Kind &kind : kinds)
			for (bool newLink : {false, true})
				if (kind.failures < 10)
					timeOnce(kind, newLink,
						 round < kWarmUp ? nullptr
						 : newLink       ? &kind.fresh
								 : &kind.kept);

	const double keptHeader = bench::medianOf(kinds[0].kept);
	const double freshHeader = bench::medianOf(kinds[0].fresh);
	std::printf("command + inquiry, median us (ratio to header): kept link | new link\n");
	for (const Kind &kind : kinds) {
		const double kept = bench::medianOf(kind.kept);
		const double fresh = bench::medianOf(kind.fresh);
		std::printf("%-8s %8.1f (%.2f) | %8.1f (%.2f)   failures: %d\n", kind.name, kept,
			    keptHeader > 0 ? kept / keptHeader : 0.0, fresh,
			    freshHeader > 0 ? fresh / freshHeader : 0.0, kind.failures);
	}
	return 0;
}
