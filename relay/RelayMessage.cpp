#include "RelayMessage.h"

#include <initializer_list>

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// The integer value of a JSON number, truncated toward zero; empty for anything else. Floats outside the 64-bit
// range (and NaN, which the parser cannot produce but a caller might) have no integer value.
std::optional<int64_t> integerValue(const nlohmann::json &value)
{
	if (value.is_number_unsigned())
		return int64_t(value.get<uint64_t>());
	if (value.is_number_integer())
		return value.get<int64_t>();
	if (value.is_number_float()) {
		const double number = std::trunc(value.get<double>());
		if (std::isfinite(number) && number >= -9.2e18 && number <= 9.2e18)
			return int64_t(number);
	}
	return std::nullopt;
}

} // namespace

std::optional<RelayRequest> RelayMessage::parseRequest(const std::string &payload)
{
	// No exceptions, and a parse failure yields a "discarded" value rather than throwing.
	const nlohmann::json document = nlohmann::json::parse(payload, nullptr, false);
	if (document.is_discarded() || !document.is_object())
		return std::nullopt;

	RelayRequest request;
	const auto ip = document.find("ip");
	if (ip != document.end() && ip->is_string())
		request.ip = ip->get<std::string>();
	const auto port = document.find("port");
	if (port != document.end())
		request.port = integerValue(*port).value_or(0);
	const auto data = document.find("data");
	if (data != document.end() && data->is_array()) {
		request.data.reserve(data->size());
		for (const nlohmann::json &element : *data)
			request.data.push_back(uint8_t(uint64_t(integerValue(element).value_or(0)) & 0xFF));
	}
	return request;
}

std::string RelayMessage::reply(const std::string &senderAddress, uint16_t senderPort, const uint8_t *bytes,
				size_t size)
{
	// nlohmann's object keeps its keys sorted, and dump() without an indent is the compact form.
	nlohmann::json message = nlohmann::json::object();
	message["data"] = std::vector<int>(bytes, bytes + size);
	message["ip"] = senderAddress;
	message["port"] = senderPort;
	// The address is ASCII from the socket, so replacing invalid UTF-8 never happens; it just rules out a throw.
	return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RelayMessage::refusal(const RelayRequest &request, const char *reason)
{
	nlohmann::json message = nlohmann::json::object();
	message["error"] = reason;
	message["ip"] = request.ip;
	message["port"] = request.port;
	// The address is the client's own text and may hold invalid UTF-8.
	return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool RelayMessage::changesTheShot(const std::vector<uint8_t> &datagram)
{
	constexpr size_t kHeader = 8;
	if (datagram.size() <= kHeader || datagram[0] != 0x01 || datagram[1] != 0x00)
		return false;
	const std::vector<uint8_t> payload(datagram.begin() + kHeader, datagram.end());
	const auto is = [&payload](std::initializer_list<int> bytes, size_t skipFrom = 0, size_t skipTo = 0) {
		if (payload.size() != bytes.size())
			return false;
		size_t at = 0;
		for (int byte : bytes) {
			if ((at < skipFrom || at >= skipTo) && payload[at] != uint8_t(byte))
				return false;
			++at;
		}
		return true;
	};
	// 81 01 06 01 vv ww 03 03 FF (any speeds), 81 01 04 07 00 FF, 81 01 04 08 00 FF.
	const bool stop = is({0x81, 0x01, 0x06, 0x01, 0, 0, 0x03, 0x03, 0xFF}, 4, 6) ||
			  is({0x81, 0x01, 0x04, 0x07, 0x00, 0xFF}) || is({0x81, 0x01, 0x04, 0x08, 0x00, 0xFF});
	return !stop;
}
