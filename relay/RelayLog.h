#pragma once

#include <QByteArray>
#include <QLoggingCategory>

#include <chrono>

// The relay's own events (start, stop, refusals, closes for limits) at info level, a relay that cannot run (busy
// port, no endpoint) at warning level, its chatter at debug.
Q_DECLARE_LOGGING_CATEGORY(lcRelay)
// What WebSocket++ itself reports (see RelayWebSocketConfig.h).
Q_DECLARE_LOGGING_CATEGORY(lcRelayWebSocket)

// Lets a few lines of one kind through per interval, so that a client repeating a refused request cannot flood the
// host's log. The next line that passes tells how many were held back. Used by one thread.
class RelayLogLimiter {
public:
	using Clock = std::chrono::steady_clock;

	RelayLogLimiter(int lines, Clock::duration period) : linesPerInterval(lines), interval(period) {}

	// Writes `line` as an info line of the relay's category, unless too many came already.
	void info(const QByteArray &line);

private:
	// Whether a line may be written now; `heldBack` is set to the number of lines held back before it.
	bool allow(int &heldBack);

	const int linesPerInterval;
	const Clock::duration interval;
	Clock::time_point intervalStart;
	int linesInInterval = 0;
	int linesHeldBack = 0;
};
