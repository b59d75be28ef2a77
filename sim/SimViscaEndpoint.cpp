#include "SimViscaEndpoint.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace {

const int kHeaderSize = 8;

// VISCA-over-IP payload types (header bytes 0 and 1)
const uint8_t kViscaMessage = 0x01;
const uint8_t kControlMessage = 0x02;
const uint8_t kReplyType = 0x11;

// The header of a reply: VISCA reply type, payload length, then the serial bytes exactly as they came.
QByteArray frame(uint8_t type0, uint8_t type1, const QByteArray &serial, const QByteArray &payload)
{
	QByteArray out;
	out.append(char(type0));
	out.append(char(type1));
	out.append(char((payload.size() >> 8) & 0xFF));
	out.append(char(payload.size() & 0xFF));
	out.append(serial);
	out.append(payload);
	return out;
}

// Four serial bytes that can never be taken for the right ones: every low nibble flipped.
QByteArray otherSerial(const QByteArray &serial)
{
	QByteArray out = serial;
	for (char &c : out)
		c = char((uint8_t(c) & 0xF0) | (~uint8_t(c) & 0x0F));
	return out;
}

} // namespace

SimViscaEndpoint::SimViscaEndpoint(const SimModel &model, bool log) : m_table(model), m_log(log) {}

SimViscaEndpoint::~SimViscaEndpoint() = default;

bool SimViscaEndpoint::bind(const QHostAddress &address, quint16 port, QString *error)
{
	close();
	m_socket = new QUdpSocket(this);
	// Shared binding, so the camera can sit on 52381 next to a relay socket bound to 0.0.0.0:52381.
	if (!m_socket->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
		if (error)
			*error = QStringLiteral("cannot bind %1:%2: %3")
					 .arg(address.toString())
					 .arg(port)
					 .arg(m_socket->errorString());
		delete m_socket;
		m_socket = nullptr;
		return false;
	}
	connect(m_socket, &QUdpSocket::readyRead, this, &SimViscaEndpoint::readPending);
	return true;
}

void SimViscaEndpoint::close()
{
	// Late replies still waiting die with the port they would have left from.
	qDeleteAll(findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly));
	if (!m_socket)
		return;
	m_socket->close();
	delete m_socket;
	m_socket = nullptr;
}

quint16 SimViscaEndpoint::boundPort() const
{
	return m_socket ? m_socket->localPort() : 0;
}

void SimViscaEndpoint::sendDatagram(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort)
{
	if (!m_socket)
		return;
	m_socket->writeDatagram(datagram, peer, peerPort);
	logLine("tx", datagram);
}

SimCameraState SimViscaEndpoint::state() const
{
	QMutexLocker lock(&m_mutex);
	return m_state;
}

void SimViscaEndpoint::setState(const SimCameraState &state)
{
	QMutexLocker lock(&m_mutex);
	m_state = state;
}

void SimViscaEndpoint::dropNextReplies(int count)
{
	QMutexLocker lock(&m_mutex);
	m_dropCount = qMax(0, count);
}

void SimViscaEndpoint::setReplyDelayMs(int ms)
{
	QMutexLocker lock(&m_mutex);
	m_delayMs = qMax(0, ms);
}

void SimViscaEndpoint::wrongSerialNextReplies(int count)
{
	QMutexLocker lock(&m_mutex);
	m_wrongSerialCount = qMax(0, count);
}

void SimViscaEndpoint::errorNextRequest(uint8_t errorCode)
{
	QMutexLocker lock(&m_mutex);
	m_errorCode = errorCode;
}

void SimViscaEndpoint::setSilent(bool silent)
{
	QMutexLocker lock(&m_mutex);
	m_silent = silent;
}

void SimViscaEndpoint::setAnswersAddressSet(bool answers)
{
	QMutexLocker lock(&m_mutex);
	m_answersAddressSet = answers;
}

QList<QByteArray> SimViscaEndpoint::received() const
{
	QMutexLocker lock(&m_mutex);
	return m_received;
}

void SimViscaEndpoint::clearReceived()
{
	QMutexLocker lock(&m_mutex);
	m_received.clear();
}

bool SimViscaEndpoint::waitForReceived(int count, int timeoutMs) const
{
	QDeadlineTimer deadline(qMax(0, timeoutMs));
	QMutexLocker lock(&m_mutex);
	while (m_received.size() < count) {
		if (deadline.hasExpired())
			return false;
		m_receivedChanged.wait(&m_mutex, deadline);
	}
	return true;
}

QHostAddress SimViscaEndpoint::lastPeerAddress() const
{
	QMutexLocker lock(&m_mutex);
	return m_lastPeer;
}

quint16 SimViscaEndpoint::lastPeerPort() const
{
	QMutexLocker lock(&m_mutex);
	return m_lastPeerPort;
}

QList<QByteArray> SimViscaEndpoint::answerDatagram(const QByteArray &datagram)
{
	QByteArray serial = datagram.mid(4, 4);
	serial.append(QByteArray(4 - serial.size(), '\0'));

	// Control messages: the only one a camera acts on is the serial-number reset, answered 02 01.
	if (datagram.size() >= kHeaderSize && uint8_t(datagram[0]) == kControlMessage && uint8_t(datagram[1]) == 0x00)
		return {frame(kControlMessage, 0x01, serial, QByteArray(1, char(0x01)))};

	QMutexLocker lock(&m_mutex);
	if (datagram.size() <= kHeaderSize || uint8_t(datagram[0]) != kViscaMessage)
		return {frame(kViscaMessage, kReplyType, serial, SimOutcome::syntaxError().replies().first())};
	const QByteArray payload = datagram.mid(kHeaderSize);
	const int declared = (uint8_t(datagram[2]) << 8) | uint8_t(datagram[3]);
	if (declared != payload.size())
		return {frame(kViscaMessage, kReplyType, serial, SimOutcome::messageLengthError().replies().first())};

	SimOutcome outcome;
	if (m_errorCode >= 0) {
		// The injected error replaces the request's replies; the camera does not act on the request.
		outcome = SimOutcome{SimOutcome::Kind::Error, QByteArray(1, char(m_errorCode)), 1};
		m_errorCode = -1;
	} else {
		outcome = m_table.handle(payload, uint8_t(datagram[1]), m_state, m_answersAddressSet);
	}
	QList<QByteArray> out;
	for (const QByteArray &replyPayload : outcome.replies())
		out.append(frame(kViscaMessage, kReplyType, serial, replyPayload));
	return out;
}

void SimViscaEndpoint::readPending()
{
	while (m_socket && m_socket->hasPendingDatagrams()) {
		const QNetworkDatagram datagram = m_socket->receiveDatagram();
		const QByteArray data = datagram.data();
		const QHostAddress peer = datagram.senderAddress();
		const quint16 peerPort = quint16(datagram.senderPort());
		logLine("rx", data);
		bool silent = false;
		{
			QMutexLocker lock(&m_mutex);
			m_received.append(data);
			m_lastPeer = peer;
			m_lastPeerPort = peerPort;
			silent = m_silent;
			m_receivedChanged.wakeAll();
		}
		if (!silent)
			reply(answerDatagram(data), peer, peerPort);
	}
}

void SimViscaEndpoint::reply(const QList<QByteArray> &datagrams, const QHostAddress &peer, quint16 peerPort)
{
	for (QByteArray datagram : datagrams) {
		int delayMs = 0;
		{
			QMutexLocker lock(&m_mutex);
			if (m_dropCount > 0) {
				--m_dropCount;
				continue;
			}
			if (m_wrongSerialCount > 0) {
				--m_wrongSerialCount;
				datagram.replace(4, 4, otherSerial(datagram.mid(4, 4)));
			}
			delayMs = m_delayMs;
		}
		if (delayMs <= 0) {
			sendDatagram(datagram, peer, peerPort);
			continue;
		}
		// Timers of equal delay fire in the order they were started, so a late acknowledge still comes before
		// its completion.
		auto *timer = new QTimer(this);
		timer->setSingleShot(true);
		connect(timer, &QTimer::timeout, this, [this, timer, datagram, peer, peerPort]() {
			sendDatagram(datagram, peer, peerPort);
			timer->deleteLater();
		});
		timer->start(delayMs);
	}
}

void SimViscaEndpoint::logLine(const char *direction, const QByteArray &datagram) const
{
	if (!m_log)
		return;
	const QByteArray line = QByteArray(direction) + ' ' + datagram.toHex(' ') + '\n';
	std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
	std::fflush(stdout);
}
