#include "CameraSimulator.h"

#include "SimThread.h"
#include "SimViscaEndpoint.h"

#include <QNetworkDatagram>

struct CameraSimulator::Impl {
	Options options;
	SimModel model;
	// Shared so that several cameras (a fleet) can live on one thread.
	std::shared_ptr<SimThread> thread;
	std::shared_ptr<SimThread> sharedThread;    // set when the thread belongs to someone else
	SimViscaEndpoint *endpoint = nullptr;       // lives on the thread while started
	SimDiscoveryResponder *responder = nullptr; // lives on the thread while started; null when discovery is off
	quint16 port = 0;
	quint16 discoveryPort = 0;
};

CameraSimulator::CameraSimulator(Options options) : CameraSimulator(std::move(options), nullptr) {}

CameraSimulator::CameraSimulator(Options options, std::shared_ptr<SimThread> sharedThread) : d(new Impl)
{
	d->options = std::move(options);
	d->model = SimModels::byName(d->options.model);
	d->sharedThread = std::move(sharedThread);
	// The endpoint exists from construction so that faults and state can be set before start().
	d->endpoint = new SimViscaEndpoint(d->model, d->options.log);
	d->endpoint->setMoveMsPerUnit(d->options.moveMsPerUnit);
	d->endpoint->setReceivedLimit(d->options.receivedLimit);
	d->endpoint->setCarriage(d->options.carriage, d->options.quirks);
	if (d->options.discovery)
		d->responder = new SimDiscoveryResponder(announcedName(), d->model.name, d->options.discoveryStyle,
							 d->options.log);
}

CameraSimulator::~CameraSimulator()
{
	stop();
	delete d->endpoint;
	delete d->responder;
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
	std::shared_ptr<SimThread> thread = d->sharedThread ? d->sharedThread : std::make_shared<SimThread>();
	thread->start();
	d->endpoint->moveToThread(thread->thread());
	if (d->responder)
		d->responder->moveToThread(thread->thread());
	bool ok = false;
	QString reason;
	QThread *owner = QThread::currentThread();
	thread->runBlocking([&]() {
		ok = d->endpoint->bind(d->options.address, d->options.port, &reason);
		if (ok && d->responder) {
			ok = d->responder->bind(d->options.address, d->options.discoveryPort, &reason);
			if (!ok)
				d->endpoint->close();
		}
		if (ok) {
			d->port = d->endpoint->boundPort();
			d->discoveryPort = d->responder ? d->responder->boundPort() : 0;
		} else {
			// Hand the objects back so they can be deleted or started again from the owner's thread.
			d->endpoint->moveToThread(owner);
			if (d->responder)
				d->responder->moveToThread(owner);
		}
	});
	if (!ok) {
		if (!d->sharedThread)
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
	SimDiscoveryResponder *responder = d->responder;
	QThread *owner = QThread::currentThread();
	d->thread->runBlocking([endpoint, responder, owner]() {
		endpoint->close();
		endpoint->moveToThread(owner);
		if (responder) {
			responder->close();
			responder->moveToThread(owner);
		}
	});
	// A shared thread keeps running for the other devices on it; its owner stops it.
	if (!d->sharedThread)
		d->thread->stop();
	d->thread.reset();
	d->port = 0;
	d->discoveryPort = 0;
}

QHostAddress CameraSimulator::address() const
{
	return d->options.address;
}

quint16 CameraSimulator::port() const
{
	return d->port;
}

QString CameraSimulator::announcedName() const
{
	return d->options.name.isEmpty() ? d->model.name : d->options.name;
}

quint16 CameraSimulator::discoveryPort() const
{
	return d->discoveryPort;
}

int CameraSimulator::probesReceived() const
{
	return d->responder ? d->responder->probesReceived() : 0;
}

void CameraSimulator::setProbeHandler(SimDiscoveryResponder::ProbeHandler handler)
{
	if (d->responder)
		d->responder->setProbeHandler(std::move(handler));
}

void CameraSimulator::answerProbe(const SimProbe &probe)
{
	SimDiscoveryResponder *responder = d->responder;
	if (!responder)
		return;
	// Called from a fleet's probe handler on the shared thread, so it must not touch the start/stop state; the
	// responder's own thread says where its socket may be used.
	if (responder->thread() == QThread::currentThread())
		responder->answer(probe);
	else
		QMetaObject::invokeMethod(
			responder, [responder, probe]() { responder->answer(probe); }, Qt::BlockingQueuedConnection);
}

void CameraSimulator::dropNextReplies(int count)
{
	d->endpoint->dropNextReplies(count);
}

void CameraSimulator::dropNextCompletions(int count)
{
	d->endpoint->dropNextCompletions(count);
}

void CameraSimulator::setMoveMsPerUnit(double ms)
{
	d->endpoint->setMoveMsPerUnit(ms);
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
