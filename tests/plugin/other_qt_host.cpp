// A host that runs the other Qt major: the built module, opened and initialized by the real libobs in a program
// whose Qt is the other major (its core library loaded into the program's global scope, as a host's own Qt is),
// must refuse to load with its one log line instead of taking the program down. OBS 30 skips a module that links
// Qt 5 itself; OBS 29 does not look, so a Qt 6 build in OBS 29 relies on this refusal. No Qt Test here: the program
// must not run Qt of its own. Exit status 77 (a skip) when the other Qt is not installed.
#include <obs-module.h>
#include <obs.h>
#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace {

std::string hostLog;

void captureLog(int, const char *format, va_list args, void *)
{
	char line[4096];
	vsnprintf(line, sizeof(line), format, args);
	hostLog += std::string(line) + "\n";
}

int fail(const std::string &what)
{
	std::printf("FAIL: %s\n%s", what.c_str(), hostLog.c_str());
	return 1;
}

} // namespace

int main()
{
	if (!dlopen(KAVREN_OTHER_QT_CORE, RTLD_NOW | RTLD_GLOBAL)) {
		std::printf("SKIP: %s is not installed\n", KAVREN_OTHER_QT_CORE);
		return 77;
	}
	base_set_log_handler(captureLog, nullptr);
	if (!obs_startup("en-US", nullptr, nullptr))
		return fail("libobs did not start");
	obs_module_t *module = nullptr;
	if (obs_open_module(&module, KAVREN_MODULE_FILE, KAVREN_SOURCE_DIR "/data") != MODULE_SUCCESS)
		return fail("libobs did not open the module");
	if (obs_init_module(module))
		return fail("the module loaded into a host on the other Qt major");
	const std::string expected = "[Kavren] not loading: built with Qt " + std::to_string(KAVREN_QT_MAJOR) +
				     ", but this OBS runs on Qt " + std::to_string(KAVREN_OTHER_QT_MAJOR) + ".";
	const size_t ours = hostLog.find("[Kavren]");
	if (ours == std::string::npos || ours != hostLog.find(expected) ||
	    hostLog.find("[Kavren]", ours + 1) != std::string::npos)
		return fail("the module's one log line is not \"" + expected + "...\"");
	obs_shutdown();
	base_set_log_handler(nullptr, nullptr);
	std::printf("PASS: the module refused a host on Qt %d with one line in its log\n", KAVREN_OTHER_QT_MAJOR);
	return 0;
}
