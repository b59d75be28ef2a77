// Cost of one camera-link command exchange compared with the bare loopback round trip underneath it.
//
// exchange: viscaIpModule::setCmdClear against the in-process simulated camera: one datagram out, two replies
//           (acknowledge and completion) back, each taken by the link's bounded receive.
// second reply: viscaIpModule::setZoomStop, a command that awaits its completion: one receive that skips the
//           acknowledge and takes the completion, which ends the exchange. Within 3x the raw round trip, like the
//           plain exchange; a link that waited for a reply after the completion would show a full receive bound.
// raw:      a plain QUdpSocket sends the power inquiry to the same simulated camera and waits for its single
//           answer. Same simulator, same loopback path, same thread hand-over inside the simulator, but no
//           framing, serial check or receive logic of ours; so the ratio shows what the link adds. The camera sends
//           acknowledge and completion back to back, so an exchange costs little more than one round trip.
// silent:   one receive against a camera that answers nothing, which must last the full bound (~350 ms).
//
// The three kinds are measured in turns, one of each per round, so that a change of load on the machine during the
// run weighs on all of them alike and the ratios stay comparable.
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "ReceivedCommands.h"
#include "visca/viscaIpModule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QUdpSocket>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

constexpr int kRuns = 500;
constexpr int kWarmUp = 20;
constexpr int kRawReplyTimeoutMs = 1000;
// A failed exchange costs a resend and two bounded receives; a camera that keeps failing ends the run early.
constexpr int kMaxFailures = 10;

// The link's transport and its probes are public; only the silent-receive measurement needs the raw send.
class BenchLink : public viscaIpModule {
public:
	qint64 sendPowerInquiry()
	{
		uint8_t packet[13] = {0, 0, 0, 0, 0, 0, 0, 0, 0x81, 0x09, 0x04, 0x00, 0xFF};
		setViscaIpHeader(packet, 0x10, 5);
		return writeVisca(packet, int(sizeof(packet)));
	}
};

// One kind of exchange and the microseconds it took each time it succeeded after the warm-up.
struct Series {
	std::function<std::optional<double>()> timeOnce; // nothing when the exchange failed
	std::vector<double> samples;
	int failures = 0;
};

void measureInTurns(const std::vector<Series *> &series, CameraSimulator &sim)
{
	for (int round = 0; round < kWarmUp + kRuns; ++round) {
		for (Series *kind : series) {
			// A camera that keeps failing would cost a resend and two bounded receives each time.
			if (kind->failures >= kMaxFailures)
				continue;
			const std::optional<double> us = kind->timeOnce();
			if (!us)
				++kind->failures;
			else if (round >= kWarmUp)
				kind->samples.push_back(*us);
			sim.clearReceived();
		}
	}
}

std::optional<double> timeCommand(viscaIpModule &link, void (viscaIpModule::*command)())
{
	QElapsedTimer clock;
	clock.start();
	(link.*command)();
	const double us = clock.nsecsElapsed() / 1000.0;
	return link.lastExchangeOk() ? std::optional<double>(us) : std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
	QCoreApplication app(argc, argv);
	// Every exchange logs its serial number and replies at debug level; printing them would measure the
	// terminal, not the exchange.
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

	const auto camera = startSimulatedCamera(QStringLiteral("127.0.0.40"), QStringLiteral("NX-B93K"));
	if (!camera)
		return 1;
	CameraSimulator &sim = *camera;

	BenchLink link;
	if (!link.onConnectToCamera(sim.address().toString(), sim.port())) {
		std::fprintf(stderr, "the simulated camera did not answer the address set\n");
		return 1;
	}

	QUdpSocket raw;
	if (!raw.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0)) {
		std::fprintf(stderr, "raw socket did not bind\n");
		return 1;
	}
	Series exchange{[&link]() { return timeCommand(link, &viscaIpModule::setCmdClear); }, {}, 0};
	Series secondReply{[&link]() { return timeCommand(link, &viscaIpModule::setZoomStop); }, {}, 0};
	Series roundTrip{
		[&]() { return bench::rawRoundTripUs(raw, sim.address(), sim.port(), kRawReplyTimeoutMs); }, {}, 0};
	measureInTurns({&exchange, &secondReply, &roundTrip}, sim);

	sim.setSilent(true);
	QElapsedTimer silentClock;
	silentClock.start();
	link.sendPowerInquiry();
	const bool silentEmpty = link.readVisca().isEmpty();
	const qint64 silentMs = silentClock.elapsed();

	const double exchangeMedian = bench::medianOf(exchange.samples);
	const double secondReplyMedian = bench::medianOf(secondReply.samples);
	const double rawMedian = bench::medianOf(roundTrip.samples);
	const auto ratio = [rawMedian](double median) { return rawMedian > 0.0 ? median / rawMedian : 0.0; };
	std::printf("exchange median: %.1f us\n", exchangeMedian);
	std::printf("second-reply exchange median: %.1f us\n", secondReplyMedian);
	std::printf("raw median: %.1f us\n", rawMedian);
	std::printf("exchange/raw ratio: %.2f\n", ratio(exchangeMedian));
	std::printf("second-reply exchange/raw ratio: %.2f\n", ratio(secondReplyMedian));
	std::printf("silent receive: %lld ms\n", static_cast<long long>(silentMs));
	const int failedExchanges = exchange.failures + secondReply.failures;
	if (failedExchanges > 0 || roundTrip.failures > 0 || !silentEmpty)
		std::printf("note: %d failed exchanges, %d lost raw replies, silent receive %s\n", failedExchanges,
			    roundTrip.failures, silentEmpty ? "empty" : "got a datagram");
	sim.stop();
	return 0;
}
