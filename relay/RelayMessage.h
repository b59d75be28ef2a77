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

// Conversion between relay messages (JSON text) and datagrams, and the checks on a destination. Nothing here
// throws; the JSON library's exceptions are kept inside.
class RelayMessage {
public:
	// Empty when the payload is not JSON or not a JSON object: such messages are ignored.
	static std::optional<RelayRequest> parseRequest(const std::string &payload);

	// The reply to a client: compact JSON with the keys in alphabetical order, {"data":[...],"ip":"...","port":N}.
	static std::string reply(const std::string &senderAddress, uint16_t senderPort, const uint8_t *bytes,
				 size_t size);

	// The destination as a host-order IPv4 address when it is a dotted IPv4 unicast address. "This network"
	// (0/8), multicast (224/4) and the reserved block with the limited broadcast (240/4) are refused, and so is
	// anything that does not parse: the relay must never spray a client's bytes over the network.
	static std::optional<uint32_t> unicastAddress(const std::string &ip);

	static bool isValidPort(int64_t port) { return port >= 1 && port <= 65535; }
};
