#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>

class QUdpSocket;

// How a simulated camera writes its WS-Discovery answer, after the firmwares met in the field:
//  D    - prefix "d:" (Hikvision, Axis, Dahua); XAddrs lists an IPv6 URL before the IPv4 one.
//  Wsdd - prefix "wsdd:" (generic gSOAP firmwares); the name scope is written "Name/"; XAddrs holds the IPv4 URL,
//         a new line and an IPv6 URL.
//  Tns  - prefix "tns:" (Uniview); XAddrs lists an https URL with a port before the plain http one.
enum class SimDiscoveryStyle { D, Wsdd, Tns };

// One Probe as it arrived: who sent it and the message ID an answer refers to.
struct SimProbe {
	QHostAddress peer;
	quint16 peerPort = 0;
	QString messageId;
};

// A simulated camera's WS-Discovery port: answers each Probe for network video transmitters with a ProbeMatch
// that names the camera's service address. Lives on the simulator thread; bind, close and answer run there.
class SimDiscoveryResponder : public QObject {
	Q_OBJECT
public:
	// Replaces the answer to a Probe (a fleet answers for all its cameras); runs on the simulator thread.
	using ProbeHandler = std::function<void(const SimProbe &probe)>;

	SimDiscoveryResponder(QString name, QString hardware, SimDiscoveryStyle style, bool log);
	~SimDiscoveryResponder() override;

	bool bind(const QHostAddress &address, quint16 port, QString *error);
	void close();
	quint16 boundPort() const;

	void setProbeHandler(ProbeHandler handler);
	// Sends this camera's ProbeMatch for `probe` from the camera's discovery port.
	void answer(const SimProbe &probe);

	int probesReceived() const;

	// The ProbeMatch envelope this camera sends, for a camera whose service lives at `address`.
	QByteArray probeMatch(const QHostAddress &address, const QString &relatesTo, int messageNumber) const;
	// Whether a datagram is a Probe this camera answers (no Types, or Types naming a network video transmitter
	// or device), and the Probe's message ID.
	static bool isProbe(const QByteArray &datagram, QString *messageId);

	static QString styleName(SimDiscoveryStyle style);
	static bool parseStyle(const QString &text, SimDiscoveryStyle *style);

private slots:
	void readPending();

private:
	const QString announcedName;
	const QString hardwareName;
	const SimDiscoveryStyle answerStyle;
	const bool logging;
	QUdpSocket *socket = nullptr;
	QHostAddress boundAddress;
	int lastMessageNumber = 0;

	mutable QMutex mutex; // guards the two below
	ProbeHandler probeHandler;
	int probes = 0;
};
