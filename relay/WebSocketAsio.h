#pragma once

// WebSocket++ 0.8.2 hands out the Asio event loop an endpoint runs on as get_io_service(). Asio 1.33 dropped
// io_service, and the WebSocket++ made for it (Debian testing's 0.8.3 snapshot) names the loop get_io_context()
// instead. Which one an endpoint has is asked of the endpoint itself here, for the relay and its clients alike,
// so that no other file needs to know which WebSocket++ it is built with.

namespace WebSocketAsio {
namespace detail {

struct Newer {};
struct Older {
	Older(Newer) {}
};

// Both may exist in some release: the newer name is taken first.
template <typename Endpoint>
auto loopOf(Endpoint &endpoint, Newer) -> decltype(endpoint.get_io_context())
{
	return endpoint.get_io_context();
}
template <typename Endpoint>
auto loopOf(Endpoint &endpoint, Older) -> decltype(endpoint.get_io_service())
{
	return endpoint.get_io_service();
}

} // namespace detail

// The Asio event loop `endpoint` (a WebSocket++ server or client on the Asio transport) runs its handlers on.
template <typename Endpoint>
auto &loopOf(Endpoint &endpoint)
{
	return detail::loopOf(endpoint, detail::Newer{});
}

} // namespace WebSocketAsio
