#include "plugin/TermSignal.h"

#include "control/EmergencyStops.h"
#include "plugin/PluginLog.h"

#include <csignal>

namespace {

void onTerm(int)
{
	// Only async-signal-safe calls: the stops were made ready as whole datagrams while the cameras moved. The
	// handler was reset on entry and the signal is blocked in here: raised again, it ends the process on return.
	EmergencyStops::sendAll();
	::raise(SIGTERM);
}

bool installed = false;

} // namespace

namespace TermSignal {

void install()
{
	struct sigaction current = {};
	if (::sigaction(SIGTERM, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
	    current.sa_handler != SIG_DFL)
		return;
	struct sigaction ours = {};
	ours.sa_handler = onTerm;
	sigemptyset(&ours.sa_mask);
	ours.sa_flags = SA_RESETHAND;
	installed = ::sigaction(SIGTERM, &ours, nullptr) == 0;
	if (installed)
		kavren_log(LOG_INFO, "OBS leaves SIGTERM to the system: moving cameras are stopped if OBS is ended so");
}

void remove()
{
	if (!installed)
		return;
	installed = false;
	struct sigaction current = {};
	if (::sigaction(SIGTERM, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
	    current.sa_handler == onTerm)
		::signal(SIGTERM, SIG_DFL);
}

} // namespace TermSignal
