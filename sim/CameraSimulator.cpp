#include "CameraSimulator.h"

#include "SimThread.h"
#include "SimViscaEndpoint.h"

#include <QNetworkDatagram>

struct CameraSimulator::Impl {
	Options options;
	SimModel model;
	// Shared so that several cameras (or a discovery responder) can later live on one thread.
	std::shared_ptr<SimThread> thread;
	SimViscaEndpoint *endpoint = nullptr; // lives on the thread while started
	quint16 port = 0;
};

CameraSimulator::CameraSimulator(Options options) : d(new Impl)
{
	d->options = std::move(options);
	d->model = SimModels::byName(d->options.model);
	// The endpoint exists from construction so that faults and state can be set before start().
	d->endpoint = new SimViscaEndpoint(d->model, d->options.log);
}

CameraSimulator::~CameraSimulator()
{
	stop();
	delete d->endpoint;
}

bool CameraSimulator::start(QString *error)
{
	if (d->thread)
		return true;
	if (d->options.address.protocol() != QAbstractSocket::IPv4Protocol || !d->options.address.isLoopback()) {
		if (error)
			*error = QStringLiteral("refusing to bind %1: the simulated camera only runs on 127.0.0.0/8")
					 .arg(d->options.address.toString());
		return false;
	}
	auto thread = std::make_shared<SimThread>();
	thread->start();
	d->endpoint->moveToThread(thread->thread());
	bool ok = false;
	QString reason;
	QThread *owner = QThread::currentThread();
	thread->runBlocking([&]() {
		ok = d->endpoint->bind(d->options.address, d->options.port, &reason);
		if (ok)
			d->port = d->endpoint->boundPort();
		else
			// Hand the endpoint back so it can be deleted or started again from the owner's thread.
			d->endpoint->moveToThread(owner);
	});
	if (!ok) {
		thread->stop();
		if (error)
			*error = reason;
		return false;
	}
	d->thread = thread;
	return true;
}

void CameraSimulator::stop()
{
	if (!d->thread)
		return;
	SimViscaEndpoint *endpoint = d->endpoint;
	QThread *owner = QThread::currentThread();
	d->thread->runBlocking([endpoint, owner]() {
		endpoint->close();
		endpoint->moveToThread(owner);
	});
	d->thread->stop();
	d->thread.reset();
	d->port = 0;
}

QHostAddress CameraSimulator::address() const
{
	return d->options.address;
}

quint16 CameraSimulator::port() const
{
	return d->port;
}

void CameraSimulator::dropNextReplies(int count)
{
	d->endpoint->dropNextReplies(count);
}

void CameraSimulator::setReplyDelayMs(int ms)
{
	d->endpoint->setReplyDelayMs(ms);
}

void CameraSimulator::wrongSerialNextReplies(int count)
{
	d->endpoint->wrongSerialNextReplies(count);
}

void CameraSimulator::errorNextRequest(uint8_t errorCode)
{
	d->endpoint->errorNextRequest(errorCode);
}

void CameraSimulator::setSilent(bool silent)
{
	d->endpoint->setSilent(silent);
}

void CameraSimulator::setAnswersAddressSet(bool answers)
{
	d->endpoint->setAnswersAddressSet(answers);
}

void CameraSimulator::sendStaleDatagram(const QHostAddress &peer, quint16 peerPort, uint32_t serial)
{
	if (!d->thread)
		return;
	// A completion (90 51 FF) carrying the given serial number, as a late reply of an earlier exchange.
	QByteArray datagram;
	for (int b : {0x01, 0x11, 0x00, 0x03})
		datagram.append(char(b));
	for (int shift : {12, 8, 4, 0})
		datagram.append(char((serial >> shift) & 0x0F));
	for (int b : {0x90, 0x51, 0xFF})
		datagram.append(char(b));
	SimViscaEndpoint *endpoint = d->endpoint;
	d->thread->runBlocking([=]() { endpoint->sendDatagram(datagram, peer, peerPort); });
}

QList<QByteArray> CameraSimulator::received() const
{
	return d->endpoint->received();
}

void CameraSimulator::clearReceived()
{
	d->endpoint->clearReceived();
}

bool CameraSimulator::waitForReceived(int count, int timeoutMs) const
{
	return d->endpoint->waitForReceived(count, timeoutMs);
}

QHostAddress CameraSimulator::lastPeerAddress() const
{
	return d->endpoint->lastPeerAddress();
}

quint16 CameraSimulator::lastPeerPort() const
{
	return d->endpoint->lastPeerPort();
}

SimCameraState CameraSimulator::state() const
{
	return d->endpoint->state();
}

void CameraSimulator::setState(const SimCameraState &state)
{
	d->endpoint->setState(state);
}

SimModel CameraSimulator::model() const
{
	return d->model;
}
