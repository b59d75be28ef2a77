#include "discovery/OnvifDiscovery.h"

#include "discovery/DiscoveryLog.h"
#include "settings/CameraAddress.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>
#include <QXmlStreamReader>

namespace {

const QHostAddress kBroadcastAddress(QHostAddress::Broadcast);
const QHostAddress kMulticastGroup(QStringLiteral("239.255.255.250"));

// The ONVIF scope under which a camera announces its name. gSOAP firmwares write "Name/", so it is matched
// without regard to letter case.
const QString kNameScope = QStringLiteral("onvif://www.onvif.org/name/");

// The text of every XAddrs element of an answer in document order, under any namespace prefix (d:, wsdd:, tns:,
// none); the closing tag must carry the opening tag's prefix. An answer may hold several documents back to back, so
// reading starts again after a document whose root element has closed; an answer broken inside an element yields
// the elements before the break.
QStringList xaddrsTexts(const QString &answer)
{
	QStringList texts;
	int documentStart = 0;
	while (documentStart < answer.size()) {
		QXmlStreamReader reader(answer.mid(documentStart));
		// Prefixes are compared as written: answers trimmed by a relay or a firmware need not declare them.
		reader.setNamespaceProcessing(false);
		int depth = 0;
		qint64 rootEnd = -1;
		while (!reader.atEnd()) {
			const QXmlStreamReader::TokenType token = reader.readNext();
			if (token == QXmlStreamReader::StartElement && reader.name() == QLatin1String("XAddrs")) {
				const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
				if (reader.hasError())
					return texts;
				texts << text;
			} else if (token == QXmlStreamReader::StartElement) {
				++depth;
				continue;
			} else if (token == QXmlStreamReader::EndElement) {
				--depth;
			} else {
				continue;
			}
			if (depth == 0)
				rootEnd = reader.characterOffset();
		}
		if (!reader.hasError() || depth != 0 || rootEnd <= 0)
			break;
		documentStart += int(rootEnd);
	}
	return texts;
}

bool startsWithScheme(const QString &url, int *hostStart)
{
	for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
		if (url.startsWith(scheme, Qt::CaseInsensitive)) {
			*hostStart = scheme.size();
			return true;
		}
	}
	return false;
}

int skipWhile(const QString &text, int at, bool (*accept)(QChar))
{
	while (at < text.size() && accept(text.at(at)))
		++at;
	return at;
}

bool isAsciiDigit(QChar c)
{
	return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isDigitOrDot(QChar c)
{
	return isAsciiDigit(c) || c == QLatin1Char('.');
}

// The host of an http or https URL whose host is made of digits and dots, with an optional port and then a path,
// query, fragment or nothing; empty for any other URL. Whether that host is a camera's address is CameraAddress's
// to say.
QString numericHost(const QString &url)
{
	int hostStart = 0;
	if (!startsWithScheme(url, &hostStart))
		return {};
	const int hostEnd = skipWhile(url, hostStart, isDigitOrDot);
	if (hostEnd == hostStart)
		return {};
	int end = hostEnd;
	if (end < url.size() && url.at(end) == QLatin1Char(':'))
		end = skipWhile(url, end + 1, isAsciiDigit);
	if (end < url.size() && !QStringLiteral("/?#").contains(url.at(end)))
		return {};
	return url.mid(hostStart, hostEnd - hostStart);
}

} // namespace

OnvifDiscovery::OnvifDiscovery(QObject *parent, quint16 discoveryPort)
    : QObject(parent), socket(new QUdpSocket), port(discoveryPort)
{
	// Discovery asks the local network itself; no proxy of the desktop's is in its path.
	socket->setProxy(QNetworkProxy::NoProxy);
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
	for (const QString &content : xaddrsTexts(answer)) {
		const QStringList urls = content.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
		for (const QString &url : urls) {
			const QString host = numericHost(url);
			if (CameraAddress::isUsable(host))
				return host;
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
