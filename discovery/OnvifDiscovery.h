#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class QUdpSocket;

// Finds ONVIF network cameras with WS-Discovery: sends a Probe for network video transmitters a fixed number of
// times, collects the ProbeMatch answers, and keeps each camera's IPv4 address with the name it announces in its
// ONVIF name scope. One client serves one search; the search blocks its caller (a search thread), and ends early
// when that thread is asked to end.
class OnvifDiscovery : public QObject {
	Q_OBJECT

public:
	static constexpr quint16 kDiscoveryPort = 3702;
	static constexpr int kProbeCount = 40;
	static constexpr int kProbeIntervalMs = 30;
	// The largest UDP payload; answers with a full namespace map come close to 4 KB, so nothing is cut.
	static constexpr int kMaxDatagramSize = 65536;
	// Names one IPv4 address to probe instead of the broadcast and multicast destinations (tests, demos).
	static constexpr const char *kAddressVariable = "KAVREN_DISCOVERY_ADDRESS";

	// `discoveryPort` is the port the Probes go to; cameras listen on kDiscoveryPort.
	explicit OnvifDiscovery(QObject *parent = nullptr, quint16 discoveryPort = kDiscoveryPort);
	~OnvifDiscovery() override;

	// Runs one search (kProbeCount Probes, kProbeIntervalMs apart) and replaces the camera list.
	void discovery();
	// Called on the searching thread for every camera the moment its first answer arrives.
	using FoundHandler = std::function<void(const QString &address, const QString &name)>;
	void setFoundHandler(FoundHandler handler) { foundHandler = std::move(handler); }
	// One map per camera, in order of first answer, each holding exactly one entry: IPv4 address -> name.
	QList<QMap<QString, QString>> getCamInfoList() const;

	// Reads every datagram waiting on the socket and hands each to fetchCamInfo.
	void MessageRecv();
	// Parses one answer and adds its camera when its address is new: the first answer of a camera wins.
	void fetchCamInfo(QString message);
	// Closes the socket; a later search binds it again.
	void OVER();

	// The Probe text carrying `messageId`.
	static QByteArray probeMessage(const QString &messageId);
	// A message ID of its own for each search ("urn:uuid:" and a random UUID). Receivers may drop a message whose
	// ID they have already seen, so a search that reused an ID could find nothing; the Probes within one search
	// are repeats of one message and share its ID.
	static QString newMessageId();
	// Where each Probe goes: the value of kAddressVariable alone when set, otherwise the IPv4 broadcast address
	// and the WS-Discovery multicast group. A value that is not an IPv4 address gives no destination at all, so
	// a mistyped test setting can never fall back to probing the real network.
	static QList<QHostAddress> probeDestinations();
	static QList<QHostAddress> probeDestinations(const QByteArray &addressOverride);

	// The parts of an answer. The address is the host of the first http:// or https:// URL in the answer's
	// XAddrs (whatever namespace prefix the answer uses) whose host is a camera's address (CameraAddress); empty
	// when there is none. The name is the value of the ONVIF name scope (matched without regard to letter case)
	// up to the first white space or "<"; empty when the answer has no name scope. Names are kept
	// percent-encoded.
	static QString addressFromAnswer(const QString &answer);
	static QString nameFromAnswer(const QString &answer);

private:
	QList<QMap<QString, QString>> camInfoList;
	FoundHandler foundHandler;
	QUdpSocket *socket;
	quint16 port;
};
