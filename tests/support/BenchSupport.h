#pragma once

// Helpers shared by the benchmarks: medians, and the bare loopback round trip every benchmark compares with.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <algorithm>
#include <optional>
#include <vector>

namespace bench {

inline double medianOf(std::vector<double> samples)
{
	if (samples.empty())
		return 0.0;
	const auto middle = samples.begin() + samples.size() / 2;
	std::nth_element(samples.begin(), middle, samples.end());
	return *middle;
}

// One power inquiry (fixed serial number) sent with a plain socket to a camera, waiting for its single answer:
// the loopback round trip without any framing, serial check or receive logic of ours. Microseconds, or nothing
// when no answer came within the timeout.
inline std::optional<double> rawRoundTripUs(QUdpSocket &socket, const QHostAddress &camera, quint16 port,
					    int timeoutMs = 1000)
{
	static const QByteArray request = QByteArray::fromHex("011000050000000181090400ff");
	QByteArray reply(64, Qt::Uninitialized);
	QElapsedTimer clock;
	clock.start();
	socket.writeDatagram(request, camera, port);
	bool answered = socket.hasPendingDatagrams();
	while (!answered && clock.elapsed() < timeoutMs) {
		socket.waitForReadyRead(int(timeoutMs - clock.elapsed()));
		answered = socket.hasPendingDatagrams();
	}
	if (!answered)
		return std::nullopt;
	socket.readDatagram(reply.data(), reply.size());
	return clock.nsecsElapsed() / 1000.0;
}

} // namespace bench
