#include "SimDiscoveryResponder.h"
#include "SimSocket.h"

#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QUrl>
#include <QUuid>

#include <cstdio>

namespace {

// Every namespace a full-featured camera declares on its envelope, whether the answer uses it or not; this map is
// what pushes real answers towards 4 KB.
const char *const kNamespaceMap = " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
				  " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
				  " xmlns:xop=\"http://www.w3.org/2004/08/xop/include\""
				  " xmlns:wsa5=\"http://www.w3.org/2005/08/addressing\""
				  " xmlns:xmime=\"http://www.w3.org/2005/05/xmlmime\""
				  " xmlns:wsrfbf=\"http://docs.oasis-open.org/wsrf/bf-2\""
				  " xmlns:wstop=\"http://docs.oasis-open.org/wsn/t-1\""
				  " xmlns:wsrfr=\"http://docs.oasis-open.org/wsrf/r-2\""
				  " xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\""
				  " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
				  " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
				  " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
				  " xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\""
				  " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
				  " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
				  " xmlns:tan=\"http://www.onvif.org/ver20/analytics/wsdl\""
				  " xmlns:tr2=\"http://www.onvif.org/ver20/media/wsdl\""
				  " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"";

const char *const kSoapEnvelopeNs = "http://www.w3.org/2003/05/soap-envelope";
const char *const kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char *const kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char *const kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
const char *const kProbeMatchesAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";

// The camera's stable endpoint identity, derived from its address so that restarts keep it.
QString endpointUuid(const QHostAddress &address)
{
	return QStringLiteral("urn:uuid:4b617672-656e-4000-8000-0000%1")
		.arg(address.toIPv4Address(), 8, 16, QLatin1Char('0'));
}

// A documentation-prefix IPv6 address for the camera: real cameras list one, and no client may use it here.
QString ipv6Url(const QHostAddress &address)
{
	return QStringLiteral("http://[2001:db8::%1]/onvif/device_service").arg(address.toIPv4Address() & 0xFF, 0, 16);
}

} // namespace

SimDiscoveryResponder::SimDiscoveryResponder(QString name, QString hardware, SimDiscoveryStyle style, bool log)
    : announcedName(std::move(name)), hardwareName(std::move(hardware)), answerStyle(style), logging(log)
{
}

SimDiscoveryResponder::~SimDiscoveryResponder() = default;

bool SimDiscoveryResponder::bind(const QHostAddress &address, quint16 port, QString *error)
{
	close();
	socket = bindSharedUdpSocket(this, address, port, QStringLiteral("discovery port "), error);
	if (!socket)
		return false;
	boundAddress = address;
	connect(socket, &QUdpSocket::readyRead, this, &SimDiscoveryResponder::readPending);
	return true;
}

void SimDiscoveryResponder::close()
{
	if (!socket)
		return;
	socket->close();
	delete socket;
	socket = nullptr;
}

quint16 SimDiscoveryResponder::boundPort() const
{
	return socket ? socket->localPort() : 0;
}

void SimDiscoveryResponder::setProbeHandler(ProbeHandler handler)
{
	QMutexLocker lock(&mutex);
	probeHandler = std::move(handler);
}

int SimDiscoveryResponder::probesReceived() const
{
	QMutexLocker lock(&mutex);
	return probes;
}

void SimDiscoveryResponder::answer(const SimProbe &probe)
{
	if (!socket)
		return;
	const QByteArray datagram = probeMatch(boundAddress, probe.messageId, ++lastMessageNumber);
	socket->writeDatagram(datagram, probe.peer, probe.peerPort);
	if (logging)
		std::fprintf(stderr, "kavren-camera-sim: %s answered a probe from %s:%u (%d bytes)\n",
			     qPrintable(boundAddress.toString()), qPrintable(probe.peer.toString()),
			     unsigned(probe.peerPort), int(datagram.size()));
}

void SimDiscoveryResponder::readPending()
{
	while (socket && socket->hasPendingDatagrams()) {
		const QNetworkDatagram datagram = socket->receiveDatagram();
		if (!datagram.isValid())
			break;
		SimProbe probe;
		if (!isProbe(datagram.data(), &probe.messageId))
			continue;
		probe.peer = datagram.senderAddress();
		probe.peerPort = quint16(datagram.senderPort());
		ProbeHandler handler;
		{
			QMutexLocker lock(&mutex);
			++probes;
			handler = probeHandler;
		}
		if (handler)
			handler(probe);
		else
			answer(probe);
	}
}

bool SimDiscoveryResponder::isProbe(const QByteArray &datagram, QString *messageId)
{
	static const QRegularExpression probeElement(QStringLiteral(R"(<(?:[\w.-]+:)?Probe[\s>/])"));
	static const QRegularExpression typesElement(QStringLiteral(R"(<(?:[\w.-]+:)?Types(?:\s[^>]*)?>([^<]*)<)"));
	static const QRegularExpression messageIdElement(
		QStringLiteral(R"(<(?:[\w.-]+:)?MessageID(?:\s[^>]*)?>\s*([^<\s]*))"));

	const QString text = QString::fromUtf8(datagram);
	if (!text.contains(QLatin1String(kDiscoveryNs)) || !probeElement.match(text).hasMatch())
		return false;
	const QRegularExpressionMatch types = typesElement.match(text);
	if (types.hasMatch() && !types.captured(1).contains(QLatin1String("NetworkVideoTransmitter")) &&
	    !types.captured(1).contains(QLatin1String("Device")))
		return false;
	if (messageId)
		*messageId = messageIdElement.match(text).captured(1);
	return true;
}

QByteArray SimDiscoveryResponder::probeMatch(const QHostAddress &address, const QString &relatesTo,
					     int messageNumber) const
{
	QString env, wsa, disc, nameScope, xaddrs;
	const QString ipv4Url = QStringLiteral("http://%1/onvif/device_service").arg(address.toString());
	switch (answerStyle) {
	case SimDiscoveryStyle::D:
		env = QStringLiteral("SOAP-ENV");
		wsa = QStringLiteral("wsa");
		disc = QStringLiteral("d");
		nameScope = QStringLiteral("onvif://www.onvif.org/name/");
		xaddrs = ipv6Url(address) + QLatin1Char(' ') + ipv4Url;
		break;
	case SimDiscoveryStyle::Wsdd:
		env = QStringLiteral("SOAP-ENV");
		wsa = QStringLiteral("wsa");
		disc = QStringLiteral("wsdd");
		nameScope = QStringLiteral("onvif://www.onvif.org/Name/");
		xaddrs = ipv4Url + QStringLiteral("\n") + ipv6Url(address);
		break;
	case SimDiscoveryStyle::Tns:
		env = QStringLiteral("env");
		wsa = QStringLiteral("wsadis");
		disc = QStringLiteral("tns");
		nameScope = QStringLiteral("onvif://www.onvif.org/name/");
		xaddrs = QStringLiteral("https://%1:443/onvif/device_service ").arg(address.toString()) + ipv4Url;
		break;
	}
	// Scope values are URIs: a name with spaces or other reserved characters travels percent-encoded.
	const QString name = QString::fromLatin1(QUrl::toPercentEncoding(announcedName, "-._~"));
	const QString hardware = QString::fromLatin1(QUrl::toPercentEncoding(hardwareName, "-._~"));
	const QString scopes = QStringLiteral("onvif://www.onvif.org/type/video_encoder "
					      "onvif://www.onvif.org/type/ptz "
					      "onvif://www.onvif.org/Profile/Streaming "
					      "onvif://www.onvif.org/Profile/T "
					      "onvif://www.onvif.org/hardware/%1 %2%3 "
					      "onvif://www.onvif.org/location/country/nowhere "
					      "onvif://www.onvif.org/location/city/studio")
				       .arg(hardware, nameScope, name);

	QString out;
	out += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
	out += QStringLiteral("<%1:Envelope xmlns:%1=\"%2\" xmlns:%3=\"%4\" xmlns:%5=\"%6\"")
		       .arg(env, QLatin1String(kSoapEnvelopeNs), wsa, QLatin1String(kAddressingNs), disc,
			    QLatin1String(kDiscoveryNs));
	out += QLatin1String(kNamespaceMap);
	out += QStringLiteral(">\n<%1:Header>\n").arg(env);
	out += QStringLiteral("<%1:MessageID>%2</%1:MessageID>\n")
		       .arg(wsa, QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces));
	out += QStringLiteral("<%1:RelatesTo>%2</%1:RelatesTo>\n").arg(wsa, relatesTo.toHtmlEscaped());
	out += QStringLiteral("<%1:To %2:mustUnderstand=\"true\">%3</%1:To>\n")
		       .arg(wsa, env, QLatin1String(kAnonymous));
	out += QStringLiteral("<%1:Action %2:mustUnderstand=\"true\">%3</%1:Action>\n")
		       .arg(wsa, env, QLatin1String(kProbeMatchesAction));
	out += QStringLiteral("<%1:AppSequence %2:mustUnderstand=\"true\" InstanceId=\"1712\" MessageNumber=\"%3\"/>\n")
		       .arg(disc, env)
		       .arg(messageNumber);
	out += QStringLiteral("</%1:Header>\n<%1:Body>\n<%2:ProbeMatches>\n<%2:ProbeMatch>\n").arg(env, disc);
	out += QStringLiteral("<%1:EndpointReference><%1:Address>%2</%1:Address></%1:EndpointReference>\n")
		       .arg(wsa, endpointUuid(address));
	out += QStringLiteral("<%1:Types>dn:NetworkVideoTransmitter tds:Device</%1:Types>\n").arg(disc);
	out += QStringLiteral("<%1:Scopes>%2</%1:Scopes>\n").arg(disc, scopes);
	out += QStringLiteral("<%1:XAddrs>%2</%1:XAddrs>\n").arg(disc, xaddrs);
	out += QStringLiteral("<%1:MetadataVersion>10</%1:MetadataVersion>\n").arg(disc);
	out += QStringLiteral("</%2:ProbeMatch>\n</%2:ProbeMatches>\n</%1:Body>\n</%1:Envelope>\n").arg(env, disc);
	return out.toUtf8();
}

QString SimDiscoveryResponder::styleName(SimDiscoveryStyle style)
{
	switch (style) {
	case SimDiscoveryStyle::D:
		return QStringLiteral("d");
	case SimDiscoveryStyle::Wsdd:
		return QStringLiteral("wsdd");
	case SimDiscoveryStyle::Tns:
		return QStringLiteral("tns");
	}
	return QString();
}

bool SimDiscoveryResponder::parseStyle(const QString &text, SimDiscoveryStyle *style)
{
	for (SimDiscoveryStyle s : {SimDiscoveryStyle::D, SimDiscoveryStyle::Wsdd, SimDiscoveryStyle::Tns}) {
		if (text.compare(styleName(s), Qt::CaseInsensitive) == 0) {
			if (style)
				*style = s;
			return true;
		}
	}
	return false;
}
