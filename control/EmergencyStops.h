#pragma once

#include <QByteArray>
#include <QHostAddress>

// The stops a process sends when it is killed. Every lane a camera was told to move keeps its stop here, as a
// whole datagram made while the lane moved, until the camera answers a stop; sendAll() sends what is kept without
// taking a lock, allocating or waiting, so that a signal handler may call it. Only IPv4 cameras are kept: that is
// what the cameras speak.
namespace EmergencyStops {

// A place for one camera's lanes; -1 when every place is taken (the camera is then not stopped by sendAll()).
int claim();
void release(int place);
// Keeps (or forgets, with an empty datagram) the stop of lane 0..2 of the camera at `place`. A camera on a TCP stream
// gets it on the stream's descriptor (once: the stream carries it whole or not at all), others in datagrams.
void keep(int place, int lane, const QHostAddress &camera, quint16 port, const QByteArray &datagram,
	  int streamDescriptor = -1);
// Sends every kept stop a few times in a row. Async-signal-safe.
void sendAll();
// How many stops are kept (tests).
int keptCount();

} // namespace EmergencyStops
