#include "control/EmergencyStops.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace {

constexpr int kPlaces = 64; // every worker of every pool a process makes; the product makes eight
constexpr int kLanes = 3;
constexpr int kMaxDatagram = 32;
// Three rounds: a stop lost on a lossy network still arrives.
constexpr int kRounds = 3;
constexpr long kRoundGapNs = 10 * 1000 * 1000;

enum State : int { Empty, Writing, Kept };

struct Stop {
	std::atomic<int> state{Empty};
	sockaddr_in to{};
	int stream = -1; // a camera on a TCP stream takes its stop there
	unsigned char bytes[kMaxDatagram] = {};
	int size = 0;
};

struct Place {
	std::atomic<bool> taken{false};
	std::array<Stop, kLanes> lanes;
};

std::array<Place, kPlaces> &places()
{
	static std::array<Place, kPlaces> all;
	return all;
}

bool validPlace(int place, int lane)
{
	return place >= 0 && place < kPlaces && lane >= 0 && lane < kLanes;
}

} // namespace

namespace EmergencyStops {

int claim()
{
	for (int place = 0; place < kPlaces; ++place) {
		bool free = false;
		if (places()[size_t(place)].taken.compare_exchange_strong(free, true))
			return place;
	}
	return -1;
}

void release(int place)
{
	if (!validPlace(place, 0))
		return;
	for (int lane = 0; lane < kLanes; ++lane)
		keep(place, lane, QHostAddress(), 0, QByteArray());
	places()[size_t(place)].taken.store(false);
}

void keep(int place, int lane, const QHostAddress &camera, quint16 port, const QByteArray &datagram,
	  int streamDescriptor)
{
	if (!validPlace(place, lane))
		return;
	Stop &stop = places()[size_t(place)].lanes[size_t(lane)];
	bool ipv4 = false;
	const quint32 address = camera.toIPv4Address(&ipv4);
	// A handler that interrupts this write sees the stop as not kept, never half written.
	stop.state.store(Writing);
	if (datagram.isEmpty() || !ipv4 || datagram.size() > kMaxDatagram) {
		stop.state.store(Empty);
		return;
	}
	stop.to = sockaddr_in{};
	stop.to.sin_family = AF_INET;
	stop.to.sin_port = htons(port);
	stop.to.sin_addr.s_addr = htonl(address);
	stop.stream = streamDescriptor;
	std::memcpy(stop.bytes, datagram.constData(), size_t(datagram.size()));
	stop.size = int(datagram.size());
	stop.state.store(Kept);
}

void sendAll()
{
	const int socketFd = ::socket(AF_INET, SOCK_DGRAM, 0);
	if (socketFd < 0)
		return;
	for (int round = 0; round < kRounds; ++round) {
		for (Place &place : places())
			for (Stop &stop : place.lanes)
				if (stop.state.load() == Kept && stop.stream >= 0 && round == 0)
					::send(stop.stream, stop.bytes, size_t(stop.size), MSG_NOSIGNAL | MSG_DONTWAIT);
				else if (stop.state.load() == Kept && stop.stream < 0)
					::sendto(socketFd, stop.bytes, size_t(stop.size), 0,
						 reinterpret_cast<const sockaddr *>(&stop.to), sizeof stop.to);
		const timespec gap{0, kRoundGapNs};
		::nanosleep(&gap, nullptr);
	}
	::close(socketFd);
}

int keptCount()
{
	int count = 0;
	for (const Place &place : places())
		for (const Stop &stop : place.lanes)
			count += stop.state.load() == Kept ? 1 : 0;
	return count;
}

} // namespace EmergencyStops
