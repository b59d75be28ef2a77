#include "RelayRoutes.h"

void RelayRoutes::noteRequest(const Client &client, std::optional<RelayCamera> camera)
{
	const auto previous = m_cameraOfClient.find(client);
	if (previous != m_cameraOfClient.end() && (!camera || previous->second != *camera))
		dropRoute(client, previous->second);
	if (!camera) {
		m_cameraOfClient.erase(client);
		return;
	}
	m_cameraOfClient[client] = *camera;
	m_clientOfCamera[*camera] = client;
}

RelayRoutes::Client RelayRoutes::clientFor(const RelayCamera &camera) const
{
	const auto route = m_clientOfCamera.find(camera);
	return route == m_clientOfCamera.end() ? Client() : route->second;
}

void RelayRoutes::forget(const Client &client)
{
	const auto previous = m_cameraOfClient.find(client);
	if (previous == m_cameraOfClient.end())
		return;
	dropRoute(client, previous->second);
	m_cameraOfClient.erase(previous);
}

void RelayRoutes::dropRoute(const Client &client, const RelayCamera &camera)
{
	// Another client may have taken the camera over since; its route stays.
	const auto route = m_clientOfCamera.find(camera);
	if (route != m_clientOfCamera.end() && sameClient(route->second, client))
		m_clientOfCamera.erase(route);
}
