#include "discovery/OnvifDiscovery.h"

#include "discovery/DiscoveryLog.h"
#include "settings/CameraAddress.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>

namespace {

const QHostAddress kBroadcastAddress(QHostAddress::Broadcast);
const QHostAddress kMulticastGroup(QStringLiteral("239.255.255.250"));

// The ONVIF scope under which a camera announces its name. gSOAP firmwares write "Name/", so it is matched
// without regard to letter case.
const QString kNameScope = QStringLiteral("onvif://www.onvif.org/name/");

// XAddrs under any namespace prefix (d:, wsdd:, tns:, none); the closing tag must carry the opening tag's prefix.
const QRegularExpression &xaddrsElement()
{
	static const QRegularExpression re(
		QStringLiteral(R"(<((?:[A-Za-z_][\w.-]*:)?)XAddrs(?:\s[^>]*)?(?<!/)>(.*?)</\1XAddrs\s*>)"),
		QRegularExpression::DotMatchesEverythingOption);
	return re;
}

// An http or https URL whose host is made of digits and dots, with an optional port and then a path, query,
// fragment or nothing. Whether that host is a camera's address is CameraAddress's to say.
const QRegularExpression &numericHostUrl()
{
	static const QRegularExpression re(QStringLiteral(R"(^https?://([\d.]+)(?::\d*)?(?:[/?#]|$))"),
					   QRegularExpression::CaseInsensitiveOption);
	return re;
}

const QRegularExpression &whiteSpace()
{
	static const QRegularExpression re(QStringLiteral("\\s+"));
	return re;
}

} // namespace

OnvifDiscovery::OnvifDiscovery(QObject *parent, quint16 discoveryPort)
    : QObject(parent), socket(new QUdpSocket), port(discoveryPort)
{
}

OnvifDiscovery::~OnvifDiscovery()
{
	// The socket was created without a parent; closing it here releases the port even when a caller deletes
	// the client without calling OVER.
	socket->close();
	delete socket;
}

QByteArray OnvifDiscovery::probeMessage(const QString &messageId)
{
	// One line, elements separated by runs of spaces.
	const char *const beforeId =
		"<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
		"xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">    <s:Header>    "
		"<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>    "
		"<a:MessageID>";
	const char *const afterId =
		"</a:MessageID>    <a:ReplyTo>    "
		"<a:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address>   "
		"</a:ReplyTo>   <a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>   "
		"</s:Header>   <s:Body>   <Probe xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">   "
		"<d:Types xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
		"xmlns:dp0=\"http://www.onvif.org/ver10/network/wsdl\">dp0:NetworkVideoTransmitter</d:Types>   "
		"</Probe>    </s:Body>   </s:Envelope>";
	return QByteArray(beforeId) + messageId.toUtf8() + afterId;
}

QString OnvifDiscovery::newMessageId()
{
	return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QList<QHostAddress> OnvifDiscovery::probeDestinations()
{
	return probeDestinations(qgetenv(kAddressVariable));
}

QList<QHostAddress> OnvifDiscovery::probeDestinations(const QByteArray &addressOverride)
{
	if (addressOverride.isEmpty())
		return {kBroadcastAddress, kMulticastGroup};
	const QHostAddress address(QString::fromLatin1(addressOverride.trimmed()));
	if (address.protocol() != QAbstractSocket::IPv4Protocol) {
		qCWarning(lcDiscovery).noquote()
			<< kAddressVariable << "is not an IPv4 address:" << addressOverride << "- no Probe is sent";
		return {};
	}
	return {address};
}

void OnvifDiscovery::discovery()
{
	camInfoList.clear();
	const QByteArray probe = probeMessage(newMessageId());
	const QList<QHostAddress> destinations = probeDestinations();
	for (int i = 0; i < kProbeCount && !QThread::currentThread()->isInterruptionRequested(); ++i) {
		// Send failures are not checked: a network without a route simply yields no answers.
		for (const QHostAddress &destination : destinations)
			socket->writeDatagram(probe, destination, port);
		QThread::msleep(kProbeIntervalMs);
		MessageRecv();
	}
}

QList<QMap<QString, QString>> OnvifDiscovery::getCamInfoList() const
{
	return camInfoList;
}

void OnvifDiscovery::MessageRecv()
{
	while (socket->hasPendingDatagrams()) {
		const QNetworkDatagram datagram = socket->receiveDatagram(kMaxDatagramSize);
		if (!datagram.isValid())
			break;
		QByteArray text = datagram.data();
		const int nul = text.indexOf('\0');
		if (nul >= 0)
			text.truncate(nul);
		fetchCamInfo(QString::fromLatin1(text));
	}
}

void OnvifDiscovery::fetchCamInfo(QString message)
{
	const QString address = addressFromAnswer(message);
	if (address.isEmpty())
		return;
	for (const QMap<QString, QString> &camera : std::as_const(camInfoList)) {
		if (camera.contains(address))
			return;
	}
	QMap<QString, QString> camera;
	const QString name = nameFromAnswer(message);
	camera.insert(address, name);
	camInfoList.append(camera);
	if (foundHandler)
		foundHandler(address, name);
}

void OnvifDiscovery::OVER()
{
	socket->close();
}

QString OnvifDiscovery::addressFromAnswer(const QString &answer)
{
	// XAddrs often lists an IPv6 or host-name URL next to the IPv4 one, in either order.
	QRegularExpressionMatchIterator elements = xaddrsElement().globalMatch(answer);
	while (elements.hasNext()) {
		const QString content = elements.next().captured(2);
		const QStringList urls = content.split(whiteSpace(), Qt::SkipEmptyParts);
		for (const QString &url : urls) {
			const QRegularExpressionMatch match = numericHostUrl().match(url);
			if (match.hasMatch() && CameraAddress::isUsable(match.captured(1)))
				return match.captured(1);
		}
	}
	return {};
}

QString OnvifDiscovery::nameFromAnswer(const QString &answer)
{
	const int at = answer.indexOf(kNameScope, 0, Qt::CaseInsensitive);
	if (at < 0)
		return {};
	const int start = at + kNameScope.size();
	int end = start;
	while (end < answer.size() && !answer.at(end).isSpace() && answer.at(end) != QLatin1Char('<'))
		++end;
	return answer.mid(start, end - start);
}
