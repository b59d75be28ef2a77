#pragma once

#include <string>

// OBS loads modules into its own Qt, and a module built with the other Qt major cannot work there: its Qt libraries
// load beside the host's, without an application object, and the first widget it made would end the host. The check
// runs first at load, before the module touches its Qt.
namespace QtHostCheck {

// The version of the Qt that runs the host program, as its qVersion() tells it, or nullptr when no Qt runs it.
// Asked through the program's own symbols: the module's qVersion() would name the Qt the module was linked with.
const char *hostQtVersion();

// Empty when a module compiled with Qt `compiledMajor` may run in a host whose Qt is `hostVersion`; otherwise the
// one log line that says why it does not load and what to install instead.
std::string refusal(int compiledMajor, const char *hostVersion);

} // namespace QtHostCheck
