#pragma once

#include <websocketpp/common/connection_hdl.hpp>

#include <cstdint>
#include <map>
#include <optional>

// Which client gets a camera's replies: the one that last sent to that camera's address, as long as that is still
// the camera it addresses. With one client this is the relay's original rule (replies only from the camera of the
// latest message); with several, each gets its own camera's replies even while others speak.
// It holds at most one route per client. Used by one thread.
class RelayRoutes {
public:
	using Client = websocketpp::connection_hdl;

	// `client` sent a message naming `camera` (host order), or naming no camera the relay serves (nullopt).
	void noteRequest(const Client &client, std::optional<uint32_t> camera);
	// The client for the replies of `camera`; an empty handle when no client awaits them.
	Client clientFor(uint32_t camera) const;
	// The client has gone.
	void forget(const Client &client);

	// Two handles of the same connection.
	static bool sameClient(const Client &a, const Client &b) { return !a.owner_before(b) && !b.owner_before(a); }

private:
	void dropRoute(const Client &client, uint32_t camera);

	std::map<Client, uint32_t, std::owner_less<Client>> m_cameraOfClient;
	std::map<uint32_t, Client> m_clientOfCamera;
};
