#include "RelayMessage.h"

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
