#include "plugin/QtHostCheck.h"

#include <cstdlib>
#include <dlfcn.h>

namespace QtHostCheck {

const char *hostQtVersion()
{
	// The program's global scope holds the Qt it was linked with; libraries that OBS opens for a module stay
	// local to that module, so the module's own Qt is not found here.
	using VersionFunction = const char *(*)();
	auto *function = reinterpret_cast<VersionFunction>(dlsym(RTLD_DEFAULT, "qVersion"));
	return function ? function() : nullptr;
}

std::string refusal(int compiledMajor, const char *hostVersion)
{
	const std::string compiled = "Qt " + std::to_string(compiledMajor);
	if (!hostVersion)
		return "not loading: built with " + compiled + ", but OBS does not run on Qt here";
	if (std::atoi(hostVersion) == compiledMajor)
		return {};
	return "not loading: built with " + compiled + ", but this OBS runs on Qt " + hostVersion +
	       "; install the build made for this OBS version (Qt 5 for OBS 29, Qt 6 for OBS 30 and later)";
}

} // namespace QtHostCheck
