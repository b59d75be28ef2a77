#pragma once

// OBS 29 leaves SIGTERM at its default: the process ends at once, with no exit event, and a camera told to move
// would keep moving. Where the host leaves it so, the module sends the stops of the cameras it last told to move
// (made ready while they moved) and lets the signal take its course. A host that handles SIGTERM itself (OBS 30
// and later end cleanly on it) is left alone.
namespace TermSignal {

void install();
// Gives SIGTERM back to its default, if the module's handler is still the one in place.
void remove();

} // namespace TermSignal
