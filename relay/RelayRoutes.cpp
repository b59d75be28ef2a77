#include "RelayRoutes.h"

void RelayRoutes::noteRequest(const Client &client, std::optional<RelayCamera> camera)
{
	const auto previous = cameraOfClient.find(client);
	if (previous != cameraOfClient.end() && (!camera || previous->second != *camera))
		dropRoute(client, previous->second);
	if (!camera) {
		cameraOfClient.erase(client);
		return;
	}
	cameraOfClient[client] = *camera;
	clientOfCamera[*camera] = client;
}

RelayRoutes::Client RelayRoutes::clientFor(const RelayCamera &camera) const
{
	const auto route = clientOfCamera.find(camera);
	return route == clientOfCamera.end() ? Client() : route->second;
}

void RelayRoutes::forget(const Client &client)
{
	const auto previous = cameraOfClient.find(client);
	if (previous == cameraOfClient.end())
		return;
	dropRoute(client, previous->second);
	cameraOfClient.erase(previous);
}

void RelayRoutes::dropRoute(const Client &client, const RelayCamera &camera)
{
	// Another client may have taken the camera over since; its route stays.
	const auto route = clientOfCamera.find(camera);
	if (route != clientOfCamera.end() && sameClient(route->second, client))
		clientOfCamera.erase(route);
}
