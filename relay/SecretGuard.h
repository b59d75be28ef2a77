#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

// Slows down a client that guesses the relay's secret: each address may get it wrong a few times in a row; after
// that it must wait before its next try is even looked at, twice as long after each further wrong one, up to a
// limit. A right secret clears the address's record. The comparison itself takes the same time for every guess
// (see ViscaTransfer_Connections.cpp); this bounds how many guesses there can be. Addresses are counted as a network
// hands them out: an IPv4 address on its own, an IPv6 one by its /64, which one host may own whole. Used by one
// thread, the relay's.
class SecretGuard {
public:
	using Clock = std::chrono::steady_clock;

	struct Options {
		int freeTries = 5;
		Clock::duration firstWait = std::chrono::seconds(1);
		Clock::duration longestWait = std::chrono::minutes(1);
		// Records beyond this many make room by dropping the stalest, so that many addresses cannot fill
		// memory.
		size_t maxAddresses = 4096;
	};

	explicit SecretGuard(const Options &options) : options(options) {}

	// The address as the guard counts it ("::ffff:127.0.0.1" is 127.0.0.1; an IPv6 address is its /64).
	static std::string keyOf(const std::string &address);

	// How long the address must still wait before a try is looked at; zero when it may try now.
	Clock::duration waitFor(const std::string &key, Clock::time_point now) const;
	// A wrong secret; returns the wait this imposes from now (zero while the address has free tries left).
	Clock::duration failed(const std::string &key, Clock::time_point now);
	void succeeded(const std::string &key) { records.erase(key); }
	Clock::duration firstWait() const { return options.firstWait; }

private:
	struct Record {
		int failures = 0;
		Clock::time_point lastFailure;
		Clock::time_point retryAt;
	};
	void makeRoom(Clock::time_point now);

	const Options options;
	std::map<std::string, Record> records;
};
