#include "viscaIpModule.h"

#include "ViscaCommand.h"
#include "ViscaInquiry.h"
#include "ViscaLog.h"
#include "ViscaReply.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QThread>
#include <QUdpSocket>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using ViscaReply::kHeaderSize;
constexpr int kMaxDatagram = 255;
constexpr uint8_t kTypeCommand = 0x00;
constexpr uint8_t kTypeInquiry = 0x10;
// The low nibble of an on/off answer: 02 on, 03 off.
constexpr int kOn = 0x02;

// One line for an inquiry that got no answer, whatever came instead.
void logNoAnswer(const QByteArray &request, const QByteArray &reply)
{
	qCDebug(lcLink).nospace() << "no answer to inquiry " << request.toHex(' ').constData() << ": "
				  << (reply.isEmpty() ? QByteArray("silence") : reply.toHex(' ')).constData();
}

} // namespace

viscaIpModule::viscaIpModule(QObject *parent) : QObject(parent), socket(new QUdpSocket(this))
{
	// Cameras sit on the studio's network: a desktop's proxy (a SOCKS one would carry our datagrams) is never
	// theirs, and asking for it loads the system's proxy library and its D-Bus threads into OBS.
	socket->setProxy(QNetworkProxy::NoProxy);
}

viscaIpModule::~viscaIpModule() = default;

// --- Framing ---

uint32_t viscaIpModule::setViscaIpHeader(uint8_t *buffer, uint8_t typeLow, uint8_t length)
{
	countingSerialNum();
	buffer[0] = 0x01;
	buffer[1] = typeLow;
	buffer[2] = 0x00;
	buffer[3] = length;
	ViscaReply::putSerial(buffer, serialNum);
	return serialNum;
}

void viscaIpModule::countingSerialNum()
{
	serialNum = serialNum < 65535 ? serialNum + 1 : 0;
	qCDebug(lcLink).nospace() << "countingSerialNum: " << serialNum;
}

// --- Datagrams ---

qint64 viscaIpModule::writeVisca(const uint8_t *bytes, int length)
{
	if (length < 0 || length > kMaxDatagram || (length > 0 && bytes == nullptr))
		return -1;
	dropLateReplies();
	return carry(QByteArray(reinterpret_cast<const char *>(bytes), length));
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
		qCDebug(lcLink) << "check second Ack";

	// The bound of kReceivePolls polls of kPollIntervalMs each, but a datagram is taken the moment it arrives.
	const int budgetMs = kReceivePolls * kPollIntervalMs;
	QElapsedTimer clock;
	clock.start();
	for (;;) {
		const int left = budgetMs - int(clock.elapsed());
		if (left <= 0 || !waitForArrival(left))
			break;
		const QByteArray reply = takeReply();
		if (sentAgain) {
			sentAgain = false;
			clock.restart();
		}
		if (reply.isEmpty())
			continue;
		result = reply;
		const int pollsLeft = std::max(0, kReceivePolls - int(clock.elapsed()) / kPollIntervalMs);
		qCDebug(lcLink).nospace()
			<< "readVisca polls left " << pollsLeft << ": " << result.toHex(' ').constData();
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

bool viscaIpModule::checkViscaError(const QByteArray &reply)
{
	if (!ViscaReply::isError(reply))
		return false;
	const int code = ViscaReply::byteAt(reply, ViscaReply::kFirstDataByte);
	switch (code) {
	case 0x02:
		qCDebug(lcLink).nospace() << "error = ACK_SYNTAX_ERROR " << code;
		break;
	case 0x03:
		qCDebug(lcLink).nospace() << "error = ACK_SOCKET_FULL " << code;
		break;
	case 0x05:
		qCDebug(lcLink).nospace() << "error = ACK_NO_SOCKET " << code;
		break;
	case 0x41:
		qCDebug(lcLink).nospace() << "error = ACK_COMMAND_NOT_ECECUTE " << code;
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
	if (!ViscaReply::carriesSerial(first, serial)) {
		qCDebug(lcLink) << "check count number Error!!";
		recordExchange(false, false);
		return false;
	}
	if (checkViscaError(first)) {
		recordExchange(false, true, true);
		return false;
	}
	// Nothing follows a completion: waiting for another reply would only run out the bound and send again a
	// command the camera has already carried out.
	if (completionFirst && ViscaReply::isCompletion(first)) {
		recordExchange(true, true);
		return true;
	}
	const QByteArray second = readVisca();
	if (!ViscaReply::carriesSerial(second, serial)) {
		qCDebug(lcLink) << "check count number Error!!";
		recordExchange(false, true);
		return false;
	}
	const bool refused = checkViscaError(second);
	recordExchange(!refused, true, refused);
	return !refused;
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
	writeVisca(bytes, length);
	const QByteArray reply = readVisca();
	const QByteArray request = QByteArray(reinterpret_cast<const char *>(bytes), length).mid(kHeaderSize);
	if (!ViscaReply::carriesSerial(reply, serial)) {
		if (reply.isEmpty())
			logNoAnswer(request, reply);
		else
			qCDebug(lcLink).nospace()
				<< "check count number Error!!  = " << ViscaReply::echoedSerial(reply);
		recordExchange(false, false);
		return QByteArray();
	}
	// An acknowledge or an error carries no value: decoding one would show the operator a setting the camera
	// never reported.
	if (!ViscaReply::isAnswer(reply)) {
		logNoAnswer(request, reply);
		recordExchange(false, true);
		return QByteArray();
	}
	recordExchange(true, true);
	return reply;
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
	recordExchange(ViscaReply::isAnswer(reply), !reply.isEmpty());
	return reply;
}

// --- Connection and probes ---

bool viscaIpModule::onConnectToCamera(QString ip, int port)
{
	qCDebug(lcLink) << "onConnectToCamera";
	// Dropping the local binding also drops any reply still queued for the previous camera.
	closeCarriage();
	cameraAddr = QHostAddress(ip);
	cameraPortNum = quint16(port);
	return isAddrSetOK();
}

void viscaIpModule::sendAddressSet()
{
	// 88 30 01 FF: the address set broadcast of a VISCA chain; over IP the camera answers it like a chain of one.
	static const uint8_t addressSet[] = {0x88, 0x30, 0x01, 0xFF};
	uint8_t packet[kHeaderSize + sizeof(addressSet)];
	setViscaIpHeader(packet, kTypeCommand, sizeof(addressSet));
	std::memcpy(packet + kHeaderSize, addressSet, sizeof(addressSet));
	writeVisca(packet, int(sizeof(packet)));
}

bool viscaIpModule::isAddrSetOK()
{
	sendAddressSet();
	const QByteArray reply = readVisca();
	// 88 30 02 FF: the address set went round exactly one camera. Any other reply (an error 90 60 02 FF among
	// them) says nothing about the chain.
	const bool addressReply = ViscaReply::byteAt(reply, ViscaReply::kReplyByte) == 0x88 &&
				  ViscaReply::byteAt(reply, ViscaReply::kClassByte) == 0x30;
	const int cameras = addressReply ? ViscaReply::nibbleAt(reply, ViscaReply::kFirstDataByte) : 0;
	qCDebug(lcLink).nospace() << "-------" << cameras;
	const bool ok = cameras == 2;
	recordExchange(ok, !reply.isEmpty());
	return ok;
}

bool viscaIpModule::isUdpSocketOK()
{
	sendAddressSet();
	const bool ok = !readVisca().isEmpty();
	recordExchange(ok, ok);
	return ok;
}

bool viscaIpModule::isPowerOK()
{
	qCDebug(lcLink) << "check power command send";
	// 90 50 02 FF: power on; 03 is standby.
	return inquire(ViscaInquiries::power) == kOn;
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
	const int length = std::min(int(payload.size()), kMaxDatagram - kHeaderSize);
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

bool viscaIpModule::send(const ViscaCommand &command, int value, int extra)
{
	if (command.awaitsCompletion)
		expectSecondReply();
	return sendCommand(command.payload(value, extra), command.tries);
}

QByteArray viscaIpModule::stopDatagram(Drive drive)
{
	uint32_t serial = 0;
	const std::vector<uint8_t> packet = framePacket(this, kTypeCommand, stopPayload(drive), &serial);
	const QByteArray whole(reinterpret_cast<const char *>(packet.data()), int(packet.size()));
	// What goes on the wire: a camera of a bare dialect takes the message alone.
	return dialectInUse == CameraDialect::ViscaOverIp ? whole : whole.mid(kHeaderSize);
}

QByteArray viscaIpModule::sendInquiry(const QByteArray &payload)
{
	uint32_t serial = 0;
	const std::vector<uint8_t> packet = framePacket(this, kTypeInquiry, payload, &serial);
	return writeInQWithData(packet.data(), int(packet.size()), serial);
}

int viscaIpModule::inquire(const ViscaInquiry &inquiry)
{
	const QByteArray answer = sendInquiry(inquiry.payload());
	// The exchange has logged and recorded an inquiry that got no answer at all.
	if (answer.isEmpty())
		return -1;
	const int value = inquiry.decode(answer);
	if (value < 0) {
		logNoAnswer(inquiry.payload(), answer);
		recordExchange(false, true);
	}
	return value;
}
