#include "RelayLog.h"

Q_LOGGING_CATEGORY(lcRelay, "kavren.relay")
Q_LOGGING_CATEGORY(lcRelayWebSocket, "kavren.relay.websocket")

bool RelayLogLimiter::allow(int &heldBack)
{
	const Clock::time_point now = Clock::now();
	if (linesInInterval == 0 || now - intervalStart >= interval) {
		intervalStart = now;
		linesInInterval = 0;
	}
	if (linesInInterval >= linesPerInterval) {
		++linesHeldBack;
		return false;
	}
	++linesInInterval;
	heldBack = linesHeldBack;
	linesHeldBack = 0;
	return true;
}

void RelayLogLimiter::info(const QByteArray &line)
{
	int heldBack = 0;
	if (!allow(heldBack))
		return;
	if (heldBack > 0)
		qCInfo(lcRelay, "%s (%d more like it were not logged)", line.constData(), heldBack);
	else
		qCInfo(lcRelay, "%s", line.constData());
}
