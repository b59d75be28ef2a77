#include "SimViscaEndpoint.h"
#include "SimSocket.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cmath>
#include <cstdio>

namespace {

const int kHeaderSize = 8;

// VISCA-over-IP payload types (header bytes 0 and 1)
const uint8_t kViscaMessage = 0x01;
const uint8_t kControlMessage = 0x02;
const uint8_t kReplyType = 0x11;
const uint8_t kTerminator = 0xFF;
// A stream that grows past this without a terminator is no controller's.
const int kMaxStreamMessage = 64;
// Command sockets 1 and 2, as most cameras have.
const int kCommandSockets = 2;

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

// What a camera checks before it reads a message at all: a whole header, a length field that matches the payload
// and a serial number of four nibbles.
bool wellFramed(const QByteArray &datagram)
{
	if (datagram.size() < kHeaderSize)
		return false;
	const int declared = (uint8_t(datagram[2]) << 8) | uint8_t(datagram[3]);
	if (declared != datagram.size() - kHeaderSize)
		return false;
	for (int i = 4; i < kHeaderSize; ++i) {
		if (uint8_t(datagram[i]) > 0x0F)
			return false;
	}
	return true;
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

void SimViscaEndpoint::setCarriage(Carriage carriage, Quirks quirks)
{
	QMutexLocker lock(&m_mutex);
	m_carriage = carriage;
	m_quirks = quirks;
}

bool SimViscaEndpoint::bind(const QHostAddress &address, quint16 port, QString *error)
{
	close();
	if (m_carriage == Carriage::Tcp) {
		m_server = new QTcpServer(this);
		m_server->setProxy(QNetworkProxy::NoProxy);
		if (!m_server->listen(address, port)) {
			if (error)
				*error = QStringLiteral("cannot listen on %1:%2: %3")
						 .arg(address.toString())
						 .arg(port)
						 .arg(m_server->errorString());
			delete m_server;
			m_server = nullptr;
			return false;
		}
		connect(m_server, &QTcpServer::newConnection, this, &SimViscaEndpoint::acceptStream);
		return true;
	}
	m_socket = bindSharedUdpSocket(this, address, port, QString(), error);
	if (!m_socket)
		return false;
	connect(m_socket, &QUdpSocket::readyRead, this, &SimViscaEndpoint::readPending);
	return true;
}

void SimViscaEndpoint::close()
{
	// Late replies still waiting die with the port they would have left from, and the moves with them.
	qDeleteAll(findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly));
	{
		QMutexLocker lock(&m_mutex);
		m_busySockets = 0;
	}
	delete m_server;
	m_server = nullptr;
	m_streamBuffer.clear();
	if (!m_socket)
		return;
	m_socket->close();
	delete m_socket;
	m_socket = nullptr;
}

quint16 SimViscaEndpoint::boundPort() const
{
	if (m_server)
		return m_server->serverPort();
	return m_socket ? m_socket->localPort() : 0;
}

void SimViscaEndpoint::sendDatagram(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort)
{
	QByteArray sent = datagram;
	quint16 port = peerPort;
	Carriage carriage = Carriage::Header;
	{
		QMutexLocker lock(&m_mutex);
		carriage = m_carriage;
		if (m_quirks.fixedEcho)
			sent.replace(4, 4, QByteArray::fromHex("00000001"));
		if (m_quirks.repliesToPort != 0)
			port = m_quirks.repliesToPort;
	}
	if (carriage != Carriage::Header)
		sent = sent.mid(kHeaderSize);
	if (carriage == Carriage::Tcp && m_stream)
		m_stream->write(sent);
	else if (carriage != Carriage::Tcp && m_socket)
		m_socket->writeDatagram(sent, peer, port);
	else
		return;
	logLine("tx", sent);
}

void SimViscaEndpoint::acceptStream()
{
	while (QTcpSocket *connection = m_server->nextPendingConnection()) {
		connect(connection, &QTcpSocket::readyRead, this, &SimViscaEndpoint::readStream);
		connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
		// One controller at a time, as a camera's serial port behind a bridge takes one.
		if (m_stream)
			m_stream->disconnectFromHost();
		m_stream = connection;
		m_streamBuffer.clear();
	}
}

void SimViscaEndpoint::readStream()
{
	auto *connection = qobject_cast<QTcpSocket *>(sender());
	if (!connection || connection != m_stream)
		return;
	m_streamBuffer += connection->readAll();
	for (int end = m_streamBuffer.indexOf(char(kTerminator)); end >= 0;
	     end = m_streamBuffer.indexOf(char(kTerminator))) {
		const QByteArray message = m_streamBuffer.left(end + 1);
		m_streamBuffer.remove(0, end + 1);
		logLine("rx", message);
		take(withHeader(message), connection->peerAddress(), connection->peerPort());
	}
	if (m_streamBuffer.size() > kMaxStreamMessage)
		m_streamBuffer.clear();
}

QByteArray SimViscaEndpoint::withHeader(const QByteArray &message)
{
	// An inquiry is 8x 09 ..; everything else a controller sends (commands, the address set) is a command.
	const bool inquiry = message.size() > 1 && uint8_t(message[1]) == 0x09;
	const quint32 serial = ++m_bareCount;
	QByteArray serialBytes;
	for (int shift : {12, 8, 4, 0})
		serialBytes.append(char((serial >> shift) & 0x0F));
	return frame(kViscaMessage, inquiry ? SimCommandTable::InquiryType : SimCommandTable::CommandType, serialBytes,
		     message);
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

void SimViscaEndpoint::dropNextCompletions(int count)
{
	QMutexLocker lock(&m_mutex);
	m_dropCompletionCount = qMax(0, count);
}

void SimViscaEndpoint::setMoveMsPerUnit(double ms)
{
	QMutexLocker lock(&m_mutex);
	m_moveMsPerUnit = qMax(0.0, ms);
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

void SimViscaEndpoint::setReceivedLimit(int limit)
{
	QMutexLocker lock(&m_mutex);
	m_receivedLimit = qMax(0, limit);
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
	m_receivedCount = 0;
}

bool SimViscaEndpoint::waitForReceived(int count, int timeoutMs) const
{
	QDeadlineTimer deadline(qMax(0, timeoutMs));
	QMutexLocker lock(&m_mutex);
	while (m_receivedCount < count) {
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

QList<SimViscaEndpoint::Reply> SimViscaEndpoint::answerDatagram(const QByteArray &datagram)
{
	if (!wellFramed(datagram))
		return {};
	QMutexLocker lock(&m_mutex);
	// Control messages: the only one a camera acts on is the serial-number reset, answered 02 01.
	if (uint8_t(datagram[0]) == kControlMessage && uint8_t(datagram[1]) == 0x00) {
		m_lastSequence.reset();
		return {{frame(kControlMessage, 0x01, datagram.mid(4, 4), QByteArray(1, char(0x01)))}};
	}
	if (const std::optional<QByteArray> refusal = refusedSequence(datagram))
		return {{*refusal}};
	return answerMessage(datagram);
}

std::optional<QByteArray> SimViscaEndpoint::refusedSequence(const QByteArray &datagram)
{
	if (!m_quirks.strictSequence || m_carriage != Carriage::Header)
		return std::nullopt;
	quint32 sequence = 0;
	for (int i = 4; i < kHeaderSize; ++i)
		sequence = sequence << 4 | uint8_t(datagram[i]);
	if (m_lastSequence && sequence <= *m_lastSequence)
		return frame(kControlMessage, 0x01, datagram.mid(4, 4), QByteArray::fromHex("0f01"));
	m_lastSequence = sequence;
	return std::nullopt;
}

QList<SimViscaEndpoint::Reply> SimViscaEndpoint::answerMessage(const QByteArray &datagram)
{
	const QByteArray serial = datagram.mid(4, 4);
	const QByteArray payload = datagram.mid(kHeaderSize);
	const int payloadType = uint8_t(datagram[1]);
	SimOutcome outcome;
	int socket = 0;
	const bool tallyBefore = m_state.tally;
	if (uint8_t(datagram[0]) != kViscaMessage || payload.isEmpty()) {
		outcome = SimOutcome::syntaxError();
	} else if (m_errorCode >= 0) {
		// The injected error replaces the request's replies; the camera does not act on the request.
		outcome = SimOutcome{SimOutcome::Kind::Error, QByteArray(1, char(m_errorCode)), 1, 0};
		m_errorCode = -1;
	} else {
		const bool command = payloadType == SimCommandTable::CommandType && payload.startsWith("\x81\x01");
		socket = freeSocket();
		outcome = command && socket == 0 ? SimOutcome::bufferFull()
						 : m_table.handle(payload, payloadType, m_state, m_answersAddressSet);
		if (m_state.tally != tallyBefore)
			logText(m_state.tally ? "tally on" : "tally off");
	}

	QList<Reply> out;
	const QList<QByteArray> payloads = outcome.replies(socket);
	for (const QByteArray &replyPayload : payloads)
		out.append({frame(kViscaMessage, kReplyType, serial, replyPayload)});
	if (outcome.kind == SimOutcome::Kind::Command) {
		Reply &completion = out.last();
		completion.completion = true;
		completion.afterMs = moveMs(outcome.moveSteps);
		// A move holds its socket until it completes.
		if (completion.afterMs > 0) {
			m_busySockets |= 1u << socket;
			completion.releasesSocket = socket;
		}
	}
	return out;
}

int SimViscaEndpoint::freeSocket() const
{
	for (int socket = 1; socket <= kCommandSockets; ++socket) {
		if (!(m_busySockets & (1u << socket)))
			return socket;
	}
	return 0;
}

int SimViscaEndpoint::moveMs(int steps) const
{
	const double unitSteps = 256.0;
	return int(std::ceil(steps / unitSteps * m_moveMsPerUnit));
}

void SimViscaEndpoint::readPending()
{
	while (m_socket && m_socket->hasPendingDatagrams()) {
		const QNetworkDatagram datagram = m_socket->receiveDatagram();
		logLine("rx", datagram.data());
		bool bare = false;
		{
			QMutexLocker lock(&m_mutex);
			bare = m_carriage == Carriage::BareUdp;
		}
		take(bare ? withHeader(datagram.data()) : datagram.data(), datagram.senderAddress(),
		     quint16(datagram.senderPort()));
	}
}

void SimViscaEndpoint::take(const QByteArray &data, const QHostAddress &peer, quint16 peerPort)
{
	bool silent = false;
	{
		QMutexLocker lock(&m_mutex);
		m_received.append(data);
		if (m_received.size() > m_receivedLimit)
			m_received.removeFirst();
		++m_receivedCount;
		m_lastPeer = peer;
		m_lastPeerPort = peerPort;
		silent = m_silent;
		m_receivedChanged.wakeAll();
	}
	if (!silent)
		reply(answerDatagram(data), peer, peerPort);
}

void SimViscaEndpoint::reply(const QList<Reply> &replies, const QHostAddress &peer, quint16 peerPort)
{
	for (const Reply &planned : replies) {
		QByteArray datagram = planned.datagram;
		bool dropped = false;
		int delayMs = 0;
		{
			QMutexLocker lock(&m_mutex);
			if (m_dropCount > 0) {
				--m_dropCount;
				dropped = true;
			} else if (planned.completion && m_dropCompletionCount > 0) {
				--m_dropCompletionCount;
				dropped = true;
			} else if (m_wrongSerialCount > 0) {
				--m_wrongSerialCount;
				datagram.replace(4, 4, otherSerial(datagram.mid(4, 4)));
			}
			delayMs = m_delayMs + planned.afterMs;
		}
		if (delayMs <= 0 && planned.releasesSocket == 0) {
			if (!dropped)
				sendDatagram(datagram, peer, peerPort);
			continue;
		}
		// Timers of equal delay fire in the order they were started, so a late acknowledge still comes before
		// its completion. A move frees its socket when it ends, whether or not its completion gets through.
		auto *timer = new QTimer(this);
		timer->setSingleShot(true);
		const int socket = planned.releasesSocket;
		connect(timer, &QTimer::timeout, this, [this, timer, datagram, dropped, socket, peer, peerPort]() {
			if (socket != 0) {
				QMutexLocker lock(&m_mutex);
				m_busySockets &= ~(1u << socket);
			}
			if (!dropped)
				sendDatagram(datagram, peer, peerPort);
			timer->deleteLater();
		});
		timer->start(delayMs);
	}
}

void SimViscaEndpoint::logLine(const char *direction, const QByteArray &datagram) const
{
	logText(QByteArray(direction) + ' ' + datagram.toHex(' '));
}

void SimViscaEndpoint::logText(const QByteArray &text) const
{
	if (!m_log)
		return;
	const QByteArray line = text + '\n';
	std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
	std::fflush(stdout);
}
