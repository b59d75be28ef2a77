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

SimViscaEndpoint::SimViscaEndpoint(const SimModel &model, bool log) : commandTable(model), logging(log) {}

SimViscaEndpoint::~SimViscaEndpoint() = default;

void SimViscaEndpoint::setCarriage(Carriage carriage, Quirks quirks)
{
	QMutexLocker lock(&mutex);
	messageCarriage = carriage;
	cameraQuirks = quirks;
}

bool SimViscaEndpoint::bind(const QHostAddress &address, quint16 port, QString *error)
{
	close();
	if (messageCarriage == Carriage::Tcp) {
		server = new QTcpServer(this);
		server->setProxy(QNetworkProxy::NoProxy);
		if (!server->listen(address, port)) {
			if (error)
				*error = QStringLiteral("cannot listen on %1:%2: %3")
						 .arg(address.toString())
						 .arg(port)
						 .arg(server->errorString());
			delete server;
			server = nullptr;
			return false;
		}
		connect(server, &QTcpServer::newConnection, this, &SimViscaEndpoint::acceptStream);
		return true;
	}
	udpSocket = bindSharedUdpSocket(this, address, port, QString(), error);
	if (!udpSocket)
		return false;
	connect(udpSocket, &QUdpSocket::readyRead, this, &SimViscaEndpoint::readPending);
	return true;
}

void SimViscaEndpoint::close()
{
	// Late replies still waiting die with the port they would have left from, and the moves with them.
	qDeleteAll(findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly));
	{
		QMutexLocker lock(&mutex);
		busySockets = 0;
	}
	delete server;
	server = nullptr;
	streamBuffer.clear();
	if (!udpSocket)
		return;
	udpSocket->close();
	delete udpSocket;
	udpSocket = nullptr;
}

quint16 SimViscaEndpoint::boundPort() const
{
	if (server)
		return server->serverPort();
	return udpSocket ? udpSocket->localPort() : 0;
}

void SimViscaEndpoint::sendDatagram(const QByteArray &datagram, const QHostAddress &peer, quint16 peerPort)
{
	QByteArray sent = datagram;
	quint16 port = peerPort;
	Carriage carriage = Carriage::Header;
	{
		QMutexLocker lock(&mutex);
		carriage = messageCarriage;
		if (cameraQuirks.fixedEcho)
			sent.replace(4, 4, QByteArray::fromHex("00000001"));
		if (cameraQuirks.repliesToPort != 0)
			port = cameraQuirks.repliesToPort;
	}
	if (carriage != Carriage::Header)
		sent = sent.mid(kHeaderSize);
	if (carriage == Carriage::Tcp && stream)
		stream->write(sent);
	else if (carriage != Carriage::Tcp && udpSocket)
		udpSocket->writeDatagram(sent, peer, port);
	else
		return;
	logLine("tx", sent);
}

void SimViscaEndpoint::acceptStream()
{
	while (QTcpSocket *connection = server->nextPendingConnection()) {
		connect(connection, &QTcpSocket::readyRead, this, &SimViscaEndpoint::readStream);
		connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
		// One controller at a time, as a camera's serial port behind a bridge takes one.
		if (stream)
			stream->disconnectFromHost();
		stream = connection;
		streamBuffer.clear();
	}
}

void SimViscaEndpoint::readStream()
{
	auto *connection = qobject_cast<QTcpSocket *>(sender());
	if (!connection || connection != stream)
		return;
	streamBuffer += connection->readAll();
	for (int end = streamBuffer.indexOf(char(kTerminator)); end >= 0;
	     end = streamBuffer.indexOf(char(kTerminator))) {
		const QByteArray message = streamBuffer.left(end + 1);
		streamBuffer.remove(0, end + 1);
		logLine("rx", message);
		take(withHeader(message), connection->peerAddress(), connection->peerPort());
	}
	if (streamBuffer.size() > kMaxStreamMessage)
		streamBuffer.clear();
}

QByteArray SimViscaEndpoint::withHeader(const QByteArray &message)
{
	// An inquiry is 8x 09 ..; everything else a controller sends (commands, the address set) is a command.
	const bool inquiry = message.size() > 1 && uint8_t(message[1]) == 0x09;
	const quint32 serial = ++bareCount;
	QByteArray serialBytes;
	for (int shift : {12, 8, 4, 0})
		serialBytes.append(char((serial >> shift) & 0x0F));
	return frame(kViscaMessage, inquiry ? SimCommandTable::InquiryType : SimCommandTable::CommandType, serialBytes,
		     message);
}

SimCameraState SimViscaEndpoint::state() const
{
	QMutexLocker lock(&mutex);
	return cameraState;
}

void SimViscaEndpoint::setState(const SimCameraState &state)
{
	QMutexLocker lock(&mutex);
	cameraState = state;
}

void SimViscaEndpoint::dropNextReplies(int count)
{
	QMutexLocker lock(&mutex);
	dropCount = qMax(0, count);
}

void SimViscaEndpoint::dropNextCompletions(int count)
{
	QMutexLocker lock(&mutex);
	dropCompletionCount = qMax(0, count);
}

void SimViscaEndpoint::setMoveMsPerUnit(double ms)
{
	QMutexLocker lock(&mutex);
	moveMsPerUnit = qMax(0.0, ms);
}

void SimViscaEndpoint::setReplyDelayMs(int ms)
{
	QMutexLocker lock(&mutex);
	replyDelayMs = qMax(0, ms);
}

void SimViscaEndpoint::wrongSerialNextReplies(int count)
{
	QMutexLocker lock(&mutex);
	wrongSerialCount = qMax(0, count);
}

void SimViscaEndpoint::errorNextRequest(uint8_t errorCode)
{
	QMutexLocker lock(&mutex);
	pendingErrorCode = errorCode;
}

void SimViscaEndpoint::setSilent(bool silent)
{
	QMutexLocker lock(&mutex);
	silenced = silent;
}

void SimViscaEndpoint::setAnswersAddressSet(bool answers)
{
	QMutexLocker lock(&mutex);
	answersAddressSet = answers;
}

void SimViscaEndpoint::setReceivedLimit(int limit)
{
	QMutexLocker lock(&mutex);
	receivedLimit = qMax(0, limit);
}

QList<QByteArray> SimViscaEndpoint::received() const
{
	QMutexLocker lock(&mutex);
	return receivedDatagrams;
}

void SimViscaEndpoint::clearReceived()
{
	QMutexLocker lock(&mutex);
	receivedDatagrams.clear();
	receivedCount = 0;
}

bool SimViscaEndpoint::waitForReceived(int count, int timeoutMs) const
{
	QDeadlineTimer deadline(qMax(0, timeoutMs));
	QMutexLocker lock(&mutex);
	while (receivedCount < count) {
		if (deadline.hasExpired())
			return false;
		receivedChanged.wait(&mutex, deadline);
	}
	return true;
}

QHostAddress SimViscaEndpoint::lastPeerAddress() const
{
	QMutexLocker lock(&mutex);
	return lastSender;
}

quint16 SimViscaEndpoint::lastPeerPort() const
{
	QMutexLocker lock(&mutex);
	return lastSenderPort;
}

QList<SimViscaEndpoint::Reply> SimViscaEndpoint::answerDatagram(const QByteArray &datagram)
{
	if (!wellFramed(datagram))
		return {};
	QMutexLocker lock(&mutex);
	// Control messages: the only one a camera acts on is the serial-number reset, answered 02 01.
	if (uint8_t(datagram[0]) == kControlMessage && uint8_t(datagram[1]) == 0x00) {
		lastSequence.reset();
		return {{frame(kControlMessage, 0x01, datagram.mid(4, 4), QByteArray(1, char(0x01)))}};
	}
	if (const std::optional<QByteArray> refusal = refusedSequence(datagram))
		return {{*refusal}};
	return answerMessage(datagram);
}

std::optional<QByteArray> SimViscaEndpoint::refusedSequence(const QByteArray &datagram)
{
	if (!cameraQuirks.strictSequence || messageCarriage != Carriage::Header)
		return std::nullopt;
	quint32 sequence = 0;
	for (int i = 4; i < kHeaderSize; ++i)
		sequence = sequence << 4 | uint8_t(datagram[i]);
	if (lastSequence && sequence <= *lastSequence)
		return frame(kControlMessage, 0x01, datagram.mid(4, 4), QByteArray::fromHex("0f01"));
	lastSequence = sequence;
	return std::nullopt;
}

QList<SimViscaEndpoint::Reply> SimViscaEndpoint::answerMessage(const QByteArray &datagram)
{
	const QByteArray serial = datagram.mid(4, 4);
	const QByteArray payload = datagram.mid(kHeaderSize);
	const int payloadType = uint8_t(datagram[1]);
	SimOutcome outcome;
	int socket = 0;
	const bool tallyBefore = cameraState.tally;
	if (uint8_t(datagram[0]) != kViscaMessage || payload.isEmpty()) {
		outcome = SimOutcome::syntaxError();
	} else if (pendingErrorCode >= 0) {
		// The injected error replaces the request's replies; the camera does not act on the request.
		outcome = SimOutcome{SimOutcome::Kind::Error, QByteArray(1, char(pendingErrorCode)), 1, 0};
		pendingErrorCode = -1;
	} else {
		const bool command = payloadType == SimCommandTable::CommandType && payload.startsWith("\x81\x01");
		socket = freeSocket();
		outcome = command && socket == 0
				  ? SimOutcome::bufferFull()
				  : commandTable.handle(payload, payloadType, cameraState, answersAddressSet);
		if (cameraState.tally != tallyBefore)
			logText(cameraState.tally ? "tally on" : "tally off");
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
			busySockets |= 1u << socket;
			completion.releasesSocket = socket;
		}
	}
	return out;
}

int SimViscaEndpoint::freeSocket() const
{
	for (int socket = 1; socket <= kCommandSockets; ++socket) {
		if (!(busySockets & (1u << socket)))
			return socket;
	}
	return 0;
}

int SimViscaEndpoint::moveMs(int steps) const
{
	const double unitSteps = 256.0;
	return int(std::ceil(steps / unitSteps * moveMsPerUnit));
}

void SimViscaEndpoint::readPending()
{
	while (udpSocket && udpSocket->hasPendingDatagrams()) {
		const QNetworkDatagram datagram = udpSocket->receiveDatagram();
		logLine("rx", datagram.data());
		bool bare = false;
		{
			QMutexLocker lock(&mutex);
			bare = messageCarriage == Carriage::BareUdp;
		}
		take(bare ? withHeader(datagram.data()) : datagram.data(), datagram.senderAddress(),
		     quint16(datagram.senderPort()));
	}
}

void SimViscaEndpoint::take(const QByteArray &data, const QHostAddress &peer, quint16 peerPort)
{
	bool silent = false;
	{
		QMutexLocker lock(&mutex);
		receivedDatagrams.append(data);
		if (receivedDatagrams.size() > receivedLimit)
			receivedDatagrams.removeFirst();
		++receivedCount;
		lastSender = peer;
		lastSenderPort = peerPort;
		silent = silenced;
		receivedChanged.wakeAll();
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
			QMutexLocker lock(&mutex);
			if (dropCount > 0) {
				--dropCount;
				dropped = true;
			} else if (planned.completion && dropCompletionCount > 0) {
				--dropCompletionCount;
				dropped = true;
			} else if (wrongSerialCount > 0) {
				--wrongSerialCount;
				datagram.replace(4, 4, otherSerial(datagram.mid(4, 4)));
			}
			delayMs = replyDelayMs + planned.afterMs;
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
				QMutexLocker lock(&mutex);
				busySockets &= ~(1u << socket);
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
	if (!logging)
		return;
	const QByteArray line = text + '\n';
	std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
	std::fflush(stdout);
}
