#pragma once

#include <QHostAddress>

#include <cstddef>

// Replies a camera sends to the controller's VISCA port (52381) rather than to the port that asked: some cameras
// do, for every reply or for their inquiry answers only. One socket of the process holds that port: this one when
// the port is free, or the relay's, which hands over what none of its clients waits for. Either way a datagram from
// a camera goes on to the link that last sent to that camera, over loopback to the link's own socket, where it is
// read like any reply. Thread-safe.
namespace ViscaReplyPort {

constexpr quint16 kPort = 52381;

// The link whose socket has `linkPort` has just sent to `camera`.
void route(const QHostAddress &camera, quint16 linkPort);
// A camera left an exchange unanswered: it may be answering on the port. Binds it when it is free (once; when it
// is not, the log says so once). Nothing is bound while every camera answers where it was asked.
void listen();
// The port listened on: the controller's VISCA port; tests choose another, so that no other process sharing the
// port can take what is meant for them.
void setPort(quint16 port);
quint16 port();
// Hands a datagram from `camera` (IPv4, host order) to the link that last sent to it; false when none did.
bool handOver(quint32 camera, const char *data, size_t size);
// The relay takes the port while it listens on it (and hands over what is not its clients'); when it stops, the
// port is bound here again at the next route().
void setRelayHoldsPort(bool holds);
// Whether this socket holds the port now.
bool isBound();

} // namespace ViscaReplyPort
