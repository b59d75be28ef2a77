#pragma once

#include "SimCameraState.h"
#include "SimDiscoveryResponder.h"
#include "SimModels.h"
#include "SimViscaEndpoint.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class SimThread;

// A simulated VISCA-over-IP PTZ camera on a loopback address, for tests, benchmarks and the demo.
// It runs on a thread of its own, so a test can drive a blocking camera link against it from its own thread.
// It decodes requests with its own byte tables, never with the system's encoder, so that a mistake cannot
// hide in both.
//
// The model decides which identification inquiries the camera answers and which model-specific encodings it
// expects (see SimModels). A model name that is not in the product line behaves as a J57-family camera with the
// common command set whose ID code ("ZZZ") is in no table, so identification yields "Unknown".
// Messages the model does not know, including the other models' encodings, get the syntax error 90 60 02 FF, and so
// do messages with FF before their end or a value outside its field. Datagrams with a broken header are ignored.
// Moves (preset recall, direct zoom, direct focus) complete after a time that grows with their distance, while
// other commands complete at once; see SimViscaEndpoint.
// Like an ONVIF camera, it also answers WS-Discovery Probes on UDP port 3702 of its address with a ProbeMatch that
// announces its name and its service address (see SimDiscoveryResponder).
// A QCoreApplication must exist while a simulator runs.
class CameraSimulator {
public:
	struct Options {
		QHostAddress address = QHostAddress(QStringLiteral("127.0.0.2"));
		quint16 port = 52381; // 0 picks an ephemeral port (tests)
		QString model = QStringLiteral("NX-B93K");
		bool log = false; // print "rx ..." / "tx ..." lines of hex bytes to stdout
		QString name;     // the name announced in discovery; empty: the model name
		SimDiscoveryStyle discoveryStyle = SimDiscoveryStyle::D;
		bool discovery = true;        // answer WS-Discovery Probes
		quint16 discoveryPort = 3702; // 0 picks an ephemeral port (tests)
		// Milliseconds a move takes per unit of distance, a unit being 256 position steps: a full zoom
		// (0000 to 4000) takes 16 ms by default, well inside one receive of the camera link.
		double moveMsPerUnit = kDefaultMoveMsPerUnit;
		// How many of the latest datagrams received() keeps; a camera flooded for hours must not grow without
		// end. A test that looks further back raises it; 0 keeps none.
		int receivedLimit = kDefaultReceivedLimit;
		// How the camera takes its messages, and how it deviates from VISCA over IP's rules.
		SimViscaEndpoint::Carriage carriage = SimViscaEndpoint::Carriage::Header;
		SimViscaEndpoint::Quirks quirks;
	};
	static constexpr double kDefaultMoveMsPerUnit = 0.25;
	static constexpr int kDefaultReceivedLimit = 4096;

	explicit CameraSimulator(Options options);
	// A camera on a thread shared with other simulated devices (a fleet); the thread is started when needed and
	// is left running by stop().
	CameraSimulator(Options options, std::shared_ptr<SimThread> sharedThread);
	~CameraSimulator();
	CameraSimulator(const CameraSimulator &) = delete;
	CameraSimulator &operator=(const CameraSimulator &) = delete;

	// Binds (with the reuse-address option) and starts answering. False with a reason when the bind fails.
	bool start(QString *error = nullptr);
	void stop();
	QHostAddress address() const;
	quint16 port() const; // the bound port, once started

	// --- Discovery ---
	QString announcedName() const;
	quint16 discoveryPort() const; // the bound discovery port, once started; 0 when discovery is off
	int probesReceived() const;    // Probes that arrived on the discovery port
	// Replaces this camera's own answer to each Probe (set before start). The handler runs on the simulator
	// thread, where it may call answerProbe of any camera sharing that thread.
	void setProbeHandler(SimDiscoveryResponder::ProbeHandler handler);
	// Sends this camera's ProbeMatch for `probe` from its own discovery port.
	void answerProbe(const SimProbe &probe);

	// --- Fault injection; every setter is thread-safe and takes effect for the next requests ---
	void dropNextReplies(int count);          // the next `count` reply datagrams are not sent
	void dropNextCompletions(int count);      // the next `count` command completions are not sent
	void setMoveMsPerUnit(double ms);         // how long moves take from now on (see Options)
	void setReplyDelayMs(int ms);             // every reply is sent this late (0: at once)
	void wrongSerialNextReplies(int count);   // the next `count` replies echo another serial number
	void errorNextRequest(uint8_t errorCode); // the next request gets 90 6y <code> FF instead of its replies
	void setSilent(bool silent);              // answer nothing at all while set
	void setAnswersAddressSet(bool answers);  // whether 88 30 01 FF gets 88 30 02 FF (default true)
	// Sends one unsolicited reply datagram carrying `serial` to the given peer, as a late reply would arrive.
	void sendStaleDatagram(const QHostAddress &peer, quint16 peerPort, uint32_t serial);

	// --- Observation ---
	// The latest datagrams received (at most Options::receivedLimit), whole (header included), oldest first.
	QList<QByteArray> received() const;
	void clearReceived();
	// Waits until at least `count` datagrams were received since the last clear, kept or not; false on timeout.
	bool waitForReceived(int count, int timeoutMs) const;
	QHostAddress lastPeerAddress() const;
	quint16 lastPeerPort() const;

	// --- Camera state ---
	SimCameraState state() const;               // a snapshot of everything the camera holds now
	void setState(const SimCameraState &state); // e.g. to put the camera in standby before a test
	SimModel model() const;                     // the resolved model: name, ID code, family, command dialect

private:
	struct Impl;
	std::unique_ptr<Impl> d;
};
