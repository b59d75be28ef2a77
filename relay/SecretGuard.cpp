#include "SecretGuard.h"

#include <asio/ip/address.hpp>

#include <algorithm>

namespace {

// An address that stopped guessing this long ago starts afresh.
constexpr std::chrono::minutes kForgetAfter(15);

} // namespace

std::string SecretGuard::keyOf(const std::string &address)
{
	asio::error_code error;
	const asio::ip::address parsed = asio::ip::make_address(address, error);
	if (error)
		return address;
	if (parsed.is_v4())
		return parsed.to_string();
	const asio::ip::address_v6 v6 = parsed.to_v6();
	if (v6.is_v4_mapped())
		return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
	asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
	std::fill(bytes.begin() + 8, bytes.end(), 0);
	return asio::ip::address_v6(bytes).to_string() + "/64";
}

SecretGuard::Clock::duration SecretGuard::waitFor(const std::string &key, Clock::time_point now) const
{
	const auto found = records.find(key);
	if (found == records.end() || found->second.retryAt <= now)
		return Clock::duration::zero();
	return found->second.retryAt - now;
}

SecretGuard::Clock::duration SecretGuard::failed(const std::string &key, Clock::time_point now)
{
	if (records.find(key) == records.end())
		makeRoom(now);
	Record &record = records[key];
	if (record.failures > 0 && now - record.lastFailure > kForgetAfter)
		record = Record();
	++record.failures;
	record.lastFailure = now;
	const int beyond = record.failures - options.freeTries;
	if (beyond <= 0)
		return Clock::duration::zero();
	Clock::duration wait = options.firstWait;
	for (int doubling = 1; doubling < beyond && wait < options.longestWait; ++doubling)
		wait *= 2;
	wait = std::min(wait, options.longestWait);
	record.retryAt = now + wait;
	return wait;
}

void SecretGuard::makeRoom(Clock::time_point now)
{
	if (records.size() < options.maxAddresses)
		return;
	for (auto record = records.begin(); record != records.end();) {
		if (record->second.retryAt <= now && now - record->second.lastFailure > kForgetAfter)
			record = records.erase(record);
		else
			++record;
	}
	while (records.size() >= options.maxAddresses) {
		const auto stalest = std::min_element(records.begin(), records.end(), [](const auto &a, const auto &b) {
			return a.second.lastFailure < b.second.lastFailure;
		});
		records.erase(stalest);
	}
}
