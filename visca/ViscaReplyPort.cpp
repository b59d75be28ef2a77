#include "ViscaReplyPort.h"

#include "ViscaLog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace {

// How often the listening thread looks whether it is to end.
constexpr int kStopCheckMs = 200;
constexpr size_t kMaxDatagram = 1024;

class ReplyPort {
public:
	~ReplyPort()
	{
		unbind();
		if (forwardDescriptor >= 0)
			::close(forwardDescriptor);
	}

	void route(quint32 camera, quint16 linkPort)
	{
		std::lock_guard<std::mutex> lock(mutex);
		routes[camera] = linkPort;
	}

	void listen()
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (descriptor < 0 && !relayHolds && !bindTried)
			bindPort();
	}

	void setPort(quint16 number)
	{
		unbind();
		std::lock_guard<std::mutex> lock(mutex);
		listenPort = number;
		bindTried = false;
	}

	quint16 port()
	{
		std::lock_guard<std::mutex> lock(mutex);
		return listenPort;
	}

	bool handOver(quint32 camera, const char *data, size_t size)
	{
		std::lock_guard<std::mutex> lock(mutex);
		const auto found = routes.find(camera);
		if (found == routes.end())
			return false;
		sockaddr_in link{};
		link.sin_family = AF_INET;
		link.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		link.sin_port = htons(found->second);
		const int from = descriptor >= 0 ? descriptor : forwarder();
		return from >= 0 &&
		       sendto(from, data, size, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&link), sizeof link) >= 0;
	}

	void setRelayHolds(bool holds)
	{
		{
			std::lock_guard<std::mutex> lock(mutex);
			relayHolds = holds;
			bindTried = false;
		}
		if (holds)
			unbind();
	}

	bool bound()
	{
		std::lock_guard<std::mutex> lock(mutex);
		return descriptor >= 0;
	}

private:
	// mutex held.
	void bindPort()
	{
		bindTried = true;
		const int made = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
		// Shared like the simulated cameras' and the relay's sockets on the same port; the relay tells when it
		// takes the port, so the two never split the datagrams between them.
		const int yes = 1;
		sockaddr_in any{};
		any.sin_family = AF_INET;
		any.sin_addr.s_addr = htonl(INADDR_ANY);
		any.sin_port = htons(listenPort);
		if (made < 0 || setsockopt(made, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
		    ::bind(made, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
			if (made >= 0)
				::close(made);
			if (!failureLogged)
				qCInfo(lcLink,
				       "UDP port %u is taken by another program: a camera that answers there rather "
				       "than to the port that asked is not heard",
				       unsigned(listenPort));
			failureLogged = true;
			return;
		}
		descriptor = made;
		stopping = false;
		listener = std::thread([this, made]() { listen(made); });
	}

	void listen(int from)
	{
		char buffer[kMaxDatagram];
		while (!stopping.load()) {
			pollfd ready{from, POLLIN, 0};
			if (poll(&ready, 1, kStopCheckMs) <= 0)
				continue;
			sockaddr_in sender{};
			socklen_t length = sizeof sender;
			const ssize_t size = recvfrom(from, buffer, sizeof buffer, 0,
						      reinterpret_cast<sockaddr *>(&sender), &length);
			if (size > 0)
				handOver(ntohl(sender.sin_addr.s_addr), buffer, size_t(size));
		}
	}

	void unbind()
	{
		std::thread ending;
		int closing = -1;
		{
			std::lock_guard<std::mutex> lock(mutex);
			stopping = true;
			ending.swap(listener);
			closing = descriptor;
			descriptor = -1;
		}
		if (ending.joinable())
			ending.join();
		if (closing >= 0)
			::close(closing);
	}

	// mutex held. A socket of its own to hand over what the relay received.
	int forwarder()
	{
		if (forwardDescriptor < 0)
			forwardDescriptor = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
		return forwardDescriptor;
	}

	std::mutex mutex;
	std::map<quint32, quint16> routes;
	quint16 listenPort = ViscaReplyPort::kPort;
	int descriptor = -1;
	int forwardDescriptor = -1;
	bool relayHolds = false;
	bool bindTried = false;
	bool failureLogged = false;
	std::atomic<bool> stopping{false};
	std::thread listener;
};

ReplyPort &replyPort()
{
	static ReplyPort instance;
	return instance;
}

} // namespace

void ViscaReplyPort::route(const QHostAddress &camera, quint16 linkPort)
{
	bool isIPv4 = false;
	const quint32 address = camera.toIPv4Address(&isIPv4);
	if (isIPv4 && linkPort != 0)
		replyPort().route(address, linkPort);
}

void ViscaReplyPort::listen()
{
	replyPort().listen();
}

void ViscaReplyPort::setPort(quint16 number)
{
	replyPort().setPort(number);
}

quint16 ViscaReplyPort::port()
{
	return replyPort().port();
}

bool ViscaReplyPort::handOver(quint32 camera, const char *data, size_t size)
{
	return replyPort().handOver(camera, data, size);
}

void ViscaReplyPort::setRelayHoldsPort(bool holds)
{
	replyPort().setRelayHolds(holds);
}

bool ViscaReplyPort::isBound()
{
	return replyPort().bound();
}
