#pragma once

#include <websocketpp/common/connection_hdl.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>

// A camera as the relay reaches it: the address and the UDP port a client sent to (host order). A camera answers
// from the port it was sent to; a datagram from another port of the same address is not its answer.
struct RelayCamera {
	uint32_t address = 0;
	uint16_t port = 0;

	bool operator<(const RelayCamera &other) const
	{
		return std::tie(address, port) < std::tie(other.address, other.port);
	}
	bool operator==(const RelayCamera &other) const { return address == other.address && port == other.port; }
	bool operator!=(const RelayCamera &other) const { return !(*this == other); }
};

// Which client gets a camera's replies: the one that last sent to that camera's address and port, as long as that
// is still the camera it addresses. With one client this is the relay's original rule (replies only from the camera
// of the latest message); with several, each gets its own camera's replies even while others speak.
// It holds at most one route per client. Used by one thread.
class RelayRoutes {
public:
	using Client = websocketpp::connection_hdl;

	// `client` sent a message naming `camera`, or naming no camera the relay serves (nullopt).
	void noteRequest(const Client &client, std::optional<RelayCamera> camera);
	// The client for the replies of `camera`; an empty handle when no client awaits them.
	Client clientFor(const RelayCamera &camera) const;
	// The client has gone.
	void forget(const Client &client);

	// Two handles of the same connection.
	static bool sameClient(const Client &a, const Client &b) { return !a.owner_before(b) && !b.owner_before(a); }

private:
	void dropRoute(const Client &client, const RelayCamera &camera);

	std::map<Client, RelayCamera, std::owner_less<Client>> cameraOfClient;
	std::map<RelayCamera, Client> clientOfCamera;
};
