#include "viscaIpModule.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QUdpSocket>

#include <algorithm>
#include <cstring>
#include <vector>

int viscaIpModule::presetIdx = -1;

namespace {

constexpr int kHeaderSize = 8;
constexpr int kMaxDatagram = 255;
constexpr uint8_t kTypeCommand = 0x00;
constexpr uint8_t kTypeInquiry = 0x10;
// How often a wait looks whether it was aborted.
constexpr qint64 kAbortCheckMs = 20;

// An inquiry answer is the only reply that carries data: 90 50 ...
bool isInquiryAnswer(const QByteArray &reply)
{
	return reply.size() > 9 && uint8_t(reply.at(8)) == 0x90 && uint8_t(reply.at(9)) == 0x50;
}

// A completion: 90 5y, whatever the socket number y.
bool isCompletion(const QByteArray &reply)
{
	return reply.size() > 9 && uint8_t(reply.at(8)) == 0x90 && (uint8_t(reply.at(9)) & 0xF0) == 0x50;
}

} // namespace

viscaIpModule::viscaIpModule(QObject *parent) : QObject(parent), socket(new QUdpSocket(this)) {}

viscaIpModule::~viscaIpModule() = default;

// --- Framing ---

uint32_t viscaIpModule::setViscaIpHeader(uint8_t *buffer, uint8_t typeLow, uint8_t length)
{
	countingSerialNum();
	buffer[0] = 0x01;
	buffer[1] = typeLow;
	buffer[2] = 0x00;
	buffer[3] = length;
	// The camera expects the 16-bit serial number spread over four bytes, one nibble each.
	buffer[4] = uint8_t((serialNum >> 12) & 0x0F);
	buffer[5] = uint8_t((serialNum >> 8) & 0x0F);
	buffer[6] = uint8_t((serialNum >> 4) & 0x0F);
	buffer[7] = uint8_t(serialNum & 0x0F);
	return serialNum;
}

void viscaIpModule::countingSerialNum()
{
	serialNum = serialNum < 65535 ? serialNum + 1 : 0;
	qDebug().nospace() << "countingSerialNum: " << serialNum;
}

// --- Datagrams ---

qint64 viscaIpModule::writeVisca(const uint8_t *bytes, int length)
{
	if (length < 0 || length > kMaxDatagram || (length > 0 && bytes == nullptr))
		return -1;
	const QByteArray packet(reinterpret_cast<const char *>(bytes), length);

	// A reply that came after its exchange gave up would otherwise be taken for the answer to this packet.
	if (socket->state() == QAbstractSocket::BoundState && socket->hasPendingDatagrams()) {
		QByteArray stale(int(std::max<qint64>(socket->pendingDatagramSize(), 0)), Qt::Uninitialized);
		socket->readDatagram(stale.data(), stale.size());
		qDebug().nospace() << "discarded late datagram " << stale.toHex(' ').constData();
	}
	return socket->writeDatagram(packet, cameraAddr, cameraPortNum);
}

bool viscaIpModule::waitForDatagram(int remainingMs)
{
	QElapsedTimer clock;
	clock.start();
	for (;;) {
		const bool bound = socket->state() == QAbstractSocket::BoundState;
		if (bound && socket->hasPendingDatagrams())
			return true;
		const qint64 left = remainingMs - clock.elapsed();
		if (left <= 0 || waitsAborted())
			return false;
		// Waited in short slices so that an abort from another thread ends the wait promptly.
		const int slice = int(std::min<qint64>(left, kAbortCheckMs));
		if (bound) {
			socket->waitForReadyRead(slice);
		} else {
			// An unbound socket (nothing sent since the last connect) cannot receive, and waitForReadyRead
			// would return at once; the receive still lasts as long as it promises.
			QThread::msleep(static_cast<unsigned long>(slice));
		}
	}
}

bool viscaIpModule::waitsAborted() const
{
	return aborting.load() || QThread::currentThread()->isInterruptionRequested();
}

void viscaIpModule::pauseFor(int ms)
{
	QElapsedTimer clock;
	clock.start();
	for (qint64 left = ms; left > 0 && !waitsAborted(); left = ms - clock.elapsed())
		QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, kAbortCheckMs)));
}

QByteArray viscaIpModule::readVisca()
{
	QByteArray result;
	const bool wantSecond = secondReply;
	int received = 0;
	if (wantSecond)
		qDebug() << "check second Ack";

	// The bound of kReceivePolls polls of kPollIntervalMs each, but a datagram is taken the moment it arrives.
	const int budgetMs = kReceivePolls * kPollIntervalMs;
	QElapsedTimer clock;
	clock.start();
	for (;;) {
		const int left = budgetMs - int(clock.elapsed());
		if (left <= 0 || !waitForDatagram(left))
			break;
		const qint64 size = socket->pendingDatagramSize();
		result.resize(int(std::max<qint64>(size, 0)));
		QHostAddress sender;
		quint16 senderPort = 0;
		socket->readDatagram(result.data(), result.size(), &sender, &senderPort);
		const int pollsLeft = std::max(0, kReceivePolls - int(clock.elapsed()) / kPollIntervalMs);
		qDebug().nospace() << "readVisca polls left " << pollsLeft << ": " << result.toHex(' ').constData();
		if (!wantSecond)
			return result;
		if (++received == 2) {
			secondReply = false;
			return result;
		}
	}
	secondReply = false;
	return result;
}

// --- Reply checks ---

int viscaIpModule::replyByte(const QByteArray &reply, int index)
{
	if (index < 0 || index >= reply.size())
		return 0;
	return uint8_t(reply.at(index));
}

int viscaIpModule::replyNibble(const QByteArray &reply, int index)
{
	return replyByte(reply, index) & 0x0F;
}

uint32_t viscaIpModule::echoedSerial(const QByteArray &reply)
{
	// Only the low nibble of each byte counts, like the framing that sent it.
	return uint32_t(replyNibble(reply, 4) << 12 | replyNibble(reply, 5) << 8 | replyNibble(reply, 6) << 4 |
			replyNibble(reply, 7));
}

bool viscaIpModule::checkViscaError(const QByteArray &reply)
{
	if (reply.size() < 11 || replyByte(reply, 8) != 0x90 || (replyByte(reply, 9) >> 4) != 0x6)
		return false;
	const int code = replyByte(reply, 10);
	switch (code) {
	case 0x02:
		qDebug().nospace() << "error = ACK_SYNTAX_ERROR " << code;
		break;
	case 0x03:
		qDebug().nospace() << "error = ACK_SOCKET_FULL " << code;
		break;
	case 0x05:
		qDebug().nospace() << "error = ACK_NO_SOCKET " << code;
		break;
	case 0x41:
		qDebug().nospace() << "error = ACK_COMMAND_NOT_ECECUTE " << code;
		break;
	default:
		break;
	}
	return true;
}

bool viscaIpModule::ViscaAckComplete(uint32_t serial)
{
	// With the second-reply flag the first receive skips the acknowledge and takes the completion itself.
	const bool completionFirst = secondReply;
	const QByteArray first = readVisca();
	if (echoedSerial(first) != serial) {
		qDebug() << "check count number Error!!";
		recordExchange(false, false);
		return false;
	}
	const bool heard = !first.isEmpty();
	if (checkViscaError(first)) {
		recordExchange(false, heard);
		return false;
	}
	const QByteArray second = readVisca();
	if (echoedSerial(second) != serial) {
		qDebug() << "check count number Error!!";
		// A camera that completed the command has nothing more to send after its completion: the exchange
		// still fails as the protocol handling expects, but the outcome records that the camera completed it.
		recordExchange(completionFirst && isCompletion(first) && second.isEmpty(), heard);
		return false;
	}
	const bool ok = !checkViscaError(second);
	recordExchange(ok, true);
	return ok;
}

bool viscaIpModule::ViscaAckInquery(uint32_t serial)
{
	return echoedSerial(readVisca()) == serial;
}

bool viscaIpModule::ViscaAckInq()
{
	return checkViscaError(readVisca());
}

// --- Exchanges ---

bool viscaIpModule::writeViscaWithAckComplete(const uint8_t *bytes, int length, uint32_t serial, int tries)
{
	bool ok = false;
	const int sends = std::max(tries, 1);
	// An aborted link still sends once (a stop must leave), but never again for a camera it will not wait for.
	for (int i = 0; i < sends && !ok && (i == 0 || !waitsAborted()); ++i) {
		writeVisca(bytes, length);
		ok = ViscaAckComplete(serial);
	}
	// Callers of this form never looked at a result; the last exchange recorded its outcome for lastExchangeOk().
	return true;
}

QByteArray viscaIpModule::writeInQWithData(const uint8_t *bytes, int length, uint32_t serial)
{
	for (int send = 1;; ++send) {
		QByteArray result;
		writeVisca(bytes, length);
		result = readVisca();
		const uint32_t echoed = echoedSerial(result);
		if (echoed != serial) {
			qDebug().nospace() << "check count number Error!!  = " << echoed;
			recordExchange(false, false);
			return QByteArray();
		}
		if (isInquiryAnswer(result)) {
			recordExchange(true, true);
			return result;
		}
		// An acknowledge or an error with the right serial number is the caller's to decode; only an empty
		// result that happened to match (serial number 0) is worth another send.
		if (send >= 2 || !result.isEmpty() || waitsAborted()) {
			recordExchange(false, !result.isEmpty());
			return result;
		}
	}
}

QByteArray viscaIpModule::getInquery(const uint8_t *payload, int length)
{
	if (length < 0 || length > kMaxDatagram - kHeaderSize || (length > 0 && payload == nullptr))
		return QByteArray();
	std::vector<uint8_t> packet(size_t(length) + kHeaderSize);
	setViscaIpHeader(packet.data(), kTypeInquiry, uint8_t(length));
	if (length > 0)
		std::memcpy(packet.data() + kHeaderSize, payload, size_t(length));
	writeVisca(packet.data(), int(packet.size()));
	const QByteArray reply = readVisca();
	recordExchange(isInquiryAnswer(reply), !reply.isEmpty());
	return reply;
}

// --- Connection and probes ---

bool viscaIpModule::onConnectToCamera(QString ip, int port)
{
	qDebug() << "onConnectToCamera";
	// Dropping the local binding also drops any reply still queued for the previous camera.
	socket->close();
	cameraAddr = QHostAddress(ip);
	cameraPortNum = quint16(port);
	return isAddrSetOK();
}

bool viscaIpModule::isAddrSetOK()
{
	static const uint8_t addressSet[] = {0x88, 0x30, 0x01, 0xFF};
	uint8_t packet[kHeaderSize + sizeof(addressSet)];
	setViscaIpHeader(packet, kTypeCommand, sizeof(addressSet));
	std::memcpy(packet + kHeaderSize, addressSet, sizeof(addressSet));
	writeVisca(packet, int(sizeof(packet)));
	const QByteArray reply = readVisca();
	// 88 30 02 FF: the address set went round exactly one camera.
	const int cameras = replyNibble(reply, 10);
	qDebug().nospace() << "-------" << cameras;
	const bool ok = cameras == 2;
	recordExchange(ok, !reply.isEmpty());
	return ok;
}

bool viscaIpModule::isUdpSocketOK()
{
	static const uint8_t addressSet[] = {0x88, 0x30, 0x01, 0xFF};
	uint8_t packet[kHeaderSize + sizeof(addressSet)];
	setViscaIpHeader(packet, kTypeCommand, sizeof(addressSet));
	std::memcpy(packet + kHeaderSize, addressSet, sizeof(addressSet));
	writeVisca(packet, int(sizeof(packet)));
	const bool ok = !readVisca().isEmpty();
	recordExchange(ok, ok);
	return ok;
}

bool viscaIpModule::isPowerOK()
{
	static const uint8_t powerInquiry[] = {0x81, 0x09, 0x04, 0x00, 0xFF};
	qDebug() << "check power command send";
	uint8_t packet[kHeaderSize + sizeof(powerInquiry)];
	setViscaIpHeader(packet, kTypeInquiry, sizeof(powerInquiry));
	std::memcpy(packet + kHeaderSize, powerInquiry, sizeof(powerInquiry));
	writeVisca(packet, int(sizeof(packet)));
	// 90 50 02 FF: power on.
	const QByteArray reply = readVisca();
	const bool ok = replyNibble(reply, 10) == 2;
	recordExchange(ok, !reply.isEmpty());
	return ok;
}

void viscaIpModule::setCmdClear()
{
	sendCommand(QByteArray::fromHex("81010001ff"));
}

// --- Helpers for the command set ---

namespace {

// Header and payload as one packet; the serial number used is returned through `serial`.
std::vector<uint8_t> framePacket(viscaIpModule *link, uint8_t type, const QByteArray &payload, uint32_t *serial)
{
	const int length = std::min(payload.size(), kMaxDatagram - kHeaderSize);
	std::vector<uint8_t> packet(size_t(length) + kHeaderSize);
	*serial = link->setViscaIpHeader(packet.data(), type, uint8_t(length));
	if (length > 0)
		std::memcpy(packet.data() + kHeaderSize, payload.constData(), size_t(length));
	return packet;
}

} // namespace

bool viscaIpModule::sendCommand(const QByteArray &payload, int tries)
{
	uint32_t serial = 0;
	const std::vector<uint8_t> packet = framePacket(this, kTypeCommand, payload, &serial);
	writeViscaWithAckComplete(packet.data(), int(packet.size()), serial, tries);
	return lastExchangeSucceeded;
}

QByteArray viscaIpModule::sendInquiry(const QByteArray &payload)
{
	uint32_t serial = 0;
	const std::vector<uint8_t> packet = framePacket(this, kTypeInquiry, payload, &serial);
	return writeInQWithData(packet.data(), int(packet.size()), serial);
}

QByteArray viscaIpModule::sendInquiryUnchecked(const QByteArray &payload)
{
	uint32_t serial = 0;
	const std::vector<uint8_t> packet = framePacket(this, kTypeInquiry, payload, &serial);
	writeVisca(packet.data(), int(packet.size()));
	const QByteArray reply = readVisca();
	recordExchange(isInquiryAnswer(reply), !reply.isEmpty());
	return reply;
}

void viscaIpModule::appendNibbles16(QByteArray &payload, uint32_t v)
{
	payload.append(char((v >> 12) & 0x0F));
	payload.append(char((v >> 8) & 0x0F));
	payload.append(char((v >> 4) & 0x0F));
	payload.append(char(v & 0x0F));
}

void viscaIpModule::appendNibbles8(QByteArray &payload, int v)
{
	payload.append(char(uint8_t(v >> 4)));
	payload.append(char(v & 0x0F));
}
