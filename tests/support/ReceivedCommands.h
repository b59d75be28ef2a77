#pragma once

// Simulated cameras as the tests start them, and what they were asked, as the tests compare it.

#include "CameraSimulator.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <memory>

// A simulated camera as `options` say, started; null, with a warning that says why, when it could not start.
inline std::unique_ptr<CameraSimulator> startSimulatedCamera(const CameraSimulator::Options &options)
{
	auto camera = std::make_unique<CameraSimulator>(options);
	QString error;
	if (!camera->start(&error)) {
		qWarning("camera simulator at %s did not start: %s", qPrintable(options.address.toString()),
			 qPrintable(error));
		return nullptr;
	}
	return camera;
}

// A simulated camera of `model` on a loopback `address`, on an ephemeral port unless `port` says otherwise.
inline std::unique_ptr<CameraSimulator>
startSimulatedCamera(const QString &address, const QString &model = QStringLiteral("NX-B93K"), quint16 port = 0)
{
	CameraSimulator::Options options;
	options.address = QHostAddress(address);
	options.port = port;
	options.model = model;
	return startSimulatedCamera(options);
}

// The VISCA payloads of what a camera received, as lower-case hex, oldest first: commands only, or inquiries too;
// `prefix` keeps only those that start with it. Against a camera that answers, every request goes out once, so a
// resend shows as the same payload twice.
inline QStringList receivedPayloads(const CameraSimulator &camera, bool commandsOnly, const QString &prefix)
{
	QStringList list;
	for (const QByteArray &datagram : camera.received()) {
		if (datagram.size() <= 8 || (commandsOnly && quint8(datagram.at(1)) != 0x00))
			continue;
		const QString payload = QString::fromLatin1(datagram.mid(8).toHex());
		if (payload.startsWith(prefix))
			list << payload;
	}
	return list;
}

inline QStringList commandPayloads(const CameraSimulator &camera, const QString &prefix = QString())
{
	return receivedPayloads(camera, true, prefix);
}

inline QStringList allPayloads(const CameraSimulator &camera, const QString &prefix = QString())
{
	return receivedPayloads(camera, false, prefix);
}

// The commands a camera was asked, a resend (the same payload right again) counted once.
inline QStringList distinctCommands(const CameraSimulator &camera)
{
	QStringList distinct;
	for (const QString &payload : commandPayloads(camera))
		if (distinct.isEmpty() || distinct.last() != payload)
			distinct << payload;
	return distinct;
}

// How many datagrams the camera had taken in before a marker sent to it now, among those it keeps (a test counts
// far fewer than CameraSimulator::Options::receivedLimit); -1 when the marker never came. The
// camera runs on a thread of its own and may still be reading what was sent to it earlier: whatever was sent
// before this call is counted, and nothing that comes later. The camera ignores the marker.
inline int receivedBeforeMarker(const CameraSimulator &camera)
{
	const QByteArray marker("marker: everything before me has arrived");
	QUdpSocket socket;
	socket.setProxy(QNetworkProxy::NoProxy);
	socket.writeDatagram(marker, camera.address(), camera.port());
	int position = -1;
	const bool arrived = QTest::qWaitFor(
		[&]() {
			position = camera.received().indexOf(marker);
			return position >= 0;
		},
		10000);
	return arrived ? position : -1;
}

// Forgets what the camera received, once everything sent to it so far has arrived, so that a test counts only
// what comes after.
inline bool clearWhenQuiet(CameraSimulator &camera)
{
	const bool caughtUp = receivedBeforeMarker(camera) >= 0;
	camera.clearReceived();
	return caughtUp;
}
