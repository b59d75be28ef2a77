#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One relay message as a client sends it: the camera address, its UDP port and the datagram's bytes.
// Fields follow the lenient reading clients rely on: a missing or non-string "ip" is empty, a missing or
// non-number "port" is 0, and every "data" element is reduced to its integer value's low 8 bits (0 for
// anything that is not a number).
struct RelayRequest {
	std::string ip;
	int64_t port = 0;
	std::vector<uint8_t> data;
};

// Conversion between relay messages (JSON text) and datagrams, and the check of a destination port (the address is
// a camera's, see CameraAddress). Nothing here throws; the JSON library's exceptions are kept inside.
class RelayMessage {
public:
	// Empty when the payload is not JSON or not a JSON object: such messages are ignored.
	static std::optional<RelayRequest> parseRequest(const std::string &payload);

	// The reply to a client: compact JSON with the keys in alphabetical order, {"data":[...],"ip":"...","port":N}.
	static std::string reply(const std::string &senderAddress, uint16_t senderPort, const uint8_t *bytes,
				 size_t size);

	// The answer to a request the relay does not send, so that its client need not wait for a reply that never
	// comes: {"error":"...","ip":"...","port":N} with the request's own address and port.
	static std::string refusal(const RelayRequest &request, const char *reason);

	static bool isValidPort(int64_t port) { return port >= 1 && port <= 65535; }

	// Whether a datagram is a VISCA-over-IP command that may change what the camera shows: every command but the
	// stops of pan/tilt, zoom and focus. Inquiries and control messages change nothing.
	static bool changesTheShot(const std::vector<uint8_t> &datagram);
};
