// How the link's packets reach a camera of each dialect, and how the camera's replies come back in VISCA over IP's
// shape, so that the exchanges above read them one way.
#include "ViscaLog.h"
#include "ViscaReply.h"
#include "ViscaReplyPort.h"
#include "viscaIpModule.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

#include <algorithm>

namespace {

using ViscaReply::kHeaderSize;

constexpr uint8_t kTerminator = 0xFF;
// A VISCA message is at most 16 bytes; a stream that grows past this without a terminator is no camera's.
constexpr int kMaxStreamMessage = 64;
constexpr int kConnectBudgetMs = 1000;
// How many failed exchanges' numbers are remembered: a late reply to one of them is no sign of a fixed echo.
constexpr size_t kUnansweredKept = 16;

// Control messages of VISCA over IP (payload type 02 00 / 02 01).
constexpr uint8_t kControl = 0x02;
constexpr uint8_t kControlReply = 0x01;
constexpr uint8_t kReset = 0x01;
// The control reply 0F 01: the camera saw the message's sequence number already.
constexpr uint8_t kAbnormality = 0x0F;
constexpr uint8_t kSequenceAbnormality = 0x01;

void writeSerial(QByteArray &packet, uint32_t serial)
{
	ViscaReply::putSerial(reinterpret_cast<uint8_t *>(packet.data()), serial);
}

// A bare reply under the header VISCA over IP would have given it.
QByteArray withHeader(const QByteArray &message, uint32_t serial)
{
	QByteArray reply(kHeaderSize, '\0');
	reply[0] = 0x01;
	reply[1] = 0x11;
	reply[3] = char(std::min<int>(message.size(), 0xFF));
	writeSerial(reply, serial);
	return reply + message;
}

bool isControlReply(const QByteArray &reply, uint8_t first, uint8_t second)
{
	return reply.size() > kHeaderSize && uint8_t(reply.at(0)) == kControl &&
	       uint8_t(reply.at(1)) == kControlReply && uint8_t(reply.at(kHeaderSize)) == first &&
	       (second == 0 || (reply.size() > kHeaderSize + 1 && uint8_t(reply.at(kHeaderSize + 1)) == second));
}

QByteArray resetPacket()
{
	QByteArray packet(kHeaderSize, '\0');
	packet[0] = char(kControl);
	packet[3] = 0x01;
	return packet + QByteArray(1, char(kReset));
}

} // namespace

void viscaIpModule::setDialect(CameraDialect dialect)
{
	dialectInUse = dialect;
}

int viscaIpModule::streamDescriptor() const
{
	return stream && stream->state() == QAbstractSocket::ConnectedState ? int(stream->socketDescriptor()) : -1;
}

void viscaIpModule::closeCarriage()
{
	socket->close();
	if (stream) {
		stream->abort();
		streamBuffer.clear();
	}
	fixedEcho.reset();
	lastEcho.reset();
	unanswered.clear();
}

qint64 viscaIpModule::carry(const QByteArray &packet)
{
	lastPacket = packet;
	awaitedSerial = wireSerial = ViscaReply::echoedSerial(packet);
	resetTried = false;
	switch (dialectInUse) {
	case CameraDialect::ViscaOverIp:
		// A camera may answer on the controller's VISCA port rather than the port that asked. Its replies are
		// routed to this link before the message leaves: a quick answer would otherwise find the route of the
		// link before (the socket takes its port here, not at the first write).
		if (socket->state() == QAbstractSocket::UnconnectedState)
			socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
		ViscaReplyPort::route(cameraAddr, socket->localPort());
		return socket->writeDatagram(packet, cameraAddr, cameraPortNum);
	case CameraDialect::BareUdp:
		return socket->writeDatagram(packet.mid(kHeaderSize), cameraAddr, cameraPortNum);
	case CameraDialect::BareTcp:
		if (!ensureStream())
			return -1;
		const qint64 written = stream->write(packet.mid(kHeaderSize));
		stream->flush();
		return written;
	}
	return -1;
}

bool viscaIpModule::ensureStream()
{
	if (!stream) {
		stream = new QTcpSocket(this);
		stream->setProxy(QNetworkProxy::NoProxy);
	}
	if (stream->state() == QAbstractSocket::ConnectedState)
		return true;
	// A stream the camera closed (or never opened) is opened again for this message.
	stream->abort();
	streamBuffer.clear();
	stream->connectToHost(cameraAddr, cameraPortNum);
	QElapsedTimer clock;
	clock.start();
	while (stream->state() != QAbstractSocket::ConnectedState && clock.elapsed() < kConnectBudgetMs &&
	       !waitsAborted() && stream->state() != QAbstractSocket::UnconnectedState)
		stream->waitForConnected(kAbortCheckMs);
	const bool connected = stream->state() == QAbstractSocket::ConnectedState;
	if (!connected && !streamFailureLogged)
		qCInfo(lcLink).noquote() << "VISCA over TCP: cannot reach" << cameraAddr.toString() << "port"
					 << cameraPortNum << "-" << stream->errorString();
	else if (connected && streamFailureLogged)
		qCInfo(lcLink).noquote() << "VISCA over TCP: connected to" << cameraAddr.toString() << "port"
					 << cameraPortNum;
	streamFailureLogged = !connected;
	if (!connected)
		stream->abort();
	return connected;
}

void viscaIpModule::dropLateReplies()
{
	if (socket->state() == QAbstractSocket::BoundState) {
		while (socket->hasPendingDatagrams()) {
			QByteArray stale(int(std::max<qint64>(socket->pendingDatagramSize(), 0)), Qt::Uninitialized);
			socket->readDatagram(stale.data(), stale.size());
			qCDebug(lcLink).nospace() << "discarded late datagram " << stale.toHex(' ').constData();
		}
	}
	if (stream && stream->state() == QAbstractSocket::ConnectedState) {
		streamBuffer += stream->readAll();
		if (!streamBuffer.isEmpty())
			qCDebug(lcLink).nospace() << "discarded late bytes " << streamBuffer.toHex(' ').constData();
		streamBuffer.clear();
	}
}

bool viscaIpModule::waitForArrival(int ms)
{
	QElapsedTimer clock;
	clock.start();
	for (;;) {
		const bool streaming = dialectInUse == CameraDialect::BareTcp;
		const bool open = streaming ? stream && stream->state() == QAbstractSocket::ConnectedState
					    : socket->state() == QAbstractSocket::BoundState;
		if (streaming ? streamBuffer.contains(char(kTerminator)) || (open && stream->bytesAvailable() > 0)
			      : open && socket->hasPendingDatagrams())
			return true;
		const qint64 left = ms - clock.elapsed();
		if (left <= 0 || waitsAborted())
			return false;
		// Waited in short slices so that an abort from another thread ends the wait promptly.
		const int slice = int(std::min<qint64>(left, kAbortCheckMs));
		if (!open) {
			// A socket that is not open (nothing sent since the last connect) cannot receive, and a wait on
			// it would return at once; the receive still lasts as long as it promises.
			QThread::msleep(static_cast<unsigned long>(slice));
		} else if (streaming) {
			stream->waitForReadyRead(slice);
		} else {
			socket->waitForReadyRead(slice);
		}
	}
}

QByteArray viscaIpModule::takeReply()
{
	switch (dialectInUse) {
	case CameraDialect::ViscaOverIp: {
		const QByteArray reply = takeDatagram();
		if (isControlReply(reply, kAbnormality, kSequenceAbnormality) && resetAndSendAgain())
			return QByteArray();
		return matchedReply(reply);
	}
	case CameraDialect::BareUdp: {
		const QByteArray message = takeDatagram();
		return message.isEmpty() ? message : withHeader(message, awaitedSerial);
	}
	case CameraDialect::BareTcp: {
		const QByteArray message = takeStreamMessage();
		return message.isEmpty() ? message : withHeader(message, awaitedSerial);
	}
	}
	return QByteArray();
}

QByteArray viscaIpModule::takeDatagram()
{
	if (socket->state() != QAbstractSocket::BoundState || !socket->hasPendingDatagrams())
		return QByteArray();
	QByteArray datagram(int(std::max<qint64>(socket->pendingDatagramSize(), 0)), Qt::Uninitialized);
	socket->readDatagram(datagram.data(), datagram.size());
	return datagram;
}

QByteArray viscaIpModule::takeStreamMessage()
{
	if (stream && stream->state() == QAbstractSocket::ConnectedState)
		streamBuffer += stream->readAll();
	const int end = streamBuffer.indexOf(char(kTerminator));
	if (end < 0) {
		if (streamBuffer.size() > kMaxStreamMessage) {
			qCDebug(lcLink).nospace() << "discarded bytes without a terminator "
						  << streamBuffer.left(kMaxStreamMessage).toHex(' ').constData();
			streamBuffer.clear();
		}
		return QByteArray();
	}
	const QByteArray message = streamBuffer.left(end + 1);
	streamBuffer.remove(0, end + 1);
	return message;
}

bool viscaIpModule::resetAndSendAgain()
{
	if (resetTried)
		return false;
	resetTried = true;
	if (!resetLogged)
		qCInfo(lcLink).noquote() << "Camera" << cameraAddr.toString() << "had seen sequence number"
					 << wireSerial
					 << "already; it is reset and the message sent again under a new one";
	resetLogged = true;
	socket->writeDatagram(resetPacket(), cameraAddr, cameraPortNum);
	QElapsedTimer clock;
	clock.start();
	const int budgetMs = kReceivePolls * kPollIntervalMs;
	bool acknowledged = false;
	while (!acknowledged && clock.elapsed() < budgetMs && waitForArrival(budgetMs - int(clock.elapsed())))
		acknowledged = isControlReply(takeDatagram(), kReset, 0);
	if (!acknowledged)
		qCDebug(lcLink) << "no acknowledge of the reset";
	countingSerialNum();
	wireSerial = serialNum;
	QByteArray again = lastPacket;
	writeSerial(again, wireSerial);
	socket->writeDatagram(again, cameraAddr, cameraPortNum);
	sentAgain = true;
	return true;
}

QByteArray viscaIpModule::matchedReply(QByteArray reply)
{
	if (reply.size() < kHeaderSize)
		return reply;
	const uint32_t echo = ViscaReply::echoedSerial(reply);
	const bool repeated = lastEcho && *lastEcho == echo && lastEchoFor != wireSerial &&
			      std::find(unanswered.cbegin(), unanswered.cend(), echo) == unanswered.cend();
	if (echo == wireSerial && fixedEcho && echo != *fixedEcho) {
		qCInfo(lcLink).noquote() << "Camera" << cameraAddr.toString()
					 << "echoes the sequence numbers it is sent again";
		fixedEcho.reset();
	} else if (echo != wireSerial && !fixedEcho && repeated) {
		qCInfo(lcLink).noquote() << "Camera" << cameraAddr.toString()
					 << "answers every message with sequence number" << echo
					 << "- its replies are taken in the order they come";
		fixedEcho = echo;
	}
	lastEcho = echo;
	lastEchoFor = wireSerial;
	if (echo == wireSerial || (fixedEcho && echo == *fixedEcho))
		writeSerial(reply, awaitedSerial);
	return reply;
}

void viscaIpModule::noteExchangeEnd(bool ok, bool heard)
{
	if (ok)
		return;
	if (!heard && dialectInUse == CameraDialect::ViscaOverIp)
		ViscaReplyPort::listen();
	unanswered.push_back(wireSerial);
	if (unanswered.size() > kUnansweredKept)
		unanswered.pop_front();
}
