#include "plugin/ModuleLog.h"

#include "plugin/PluginLog.h"

#include <QString>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kOurCategoryPrefix[] = "kavren";

// Lock-free, so that OBS's threads and ours may log at any moment, the handler's own changes included.
std::atomic<QtMessageHandler> previousHandler{nullptr};
std::atomic<bool> routing{false};

bool isOurs(const char *category)
{
	return category && std::strncmp(category, kOurCategoryPrefix, sizeof(kOurCategoryPrefix) - 1) == 0;
}

int obsLevel(QtMsgType type)
{
	switch (type) {
	case QtDebugMsg:
		return LOG_DEBUG;
	case QtInfoMsg:
		return LOG_INFO;
	case QtWarningMsg:
		return LOG_WARNING;
	case QtCriticalMsg:
	case QtFatalMsg:
		break;
	}
	return LOG_ERROR;
}

void forward(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	if (const QtMessageHandler previous = previousHandler.load()) {
		previous(type, context, message);
		return;
	}
	// Called before anything was chained: write the line the way Qt's default handler does.
	std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

void ModuleLog::handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	if (!routing.load() || !isOurs(context.category)) {
		forward(type, context, message);
		return;
	}
	// The text goes in as an argument, never as the format: a '%' in it must not be read as one.
	kavren_log(obsLevel(type), "%s", message.toUtf8().constData());
}

void ModuleLog::install()
{
	const QtMessageHandler replaced = qInstallMessageHandler(&ModuleLog::handleMessage);
	// Installed a second time, the handler would otherwise hand every foreign message to itself.
	if (replaced != &ModuleLog::handleMessage)
		previousHandler.store(replaced);
	routing.store(true);
}

void ModuleLog::remove()
{
	routing.store(false);
	const QtMessageHandler current = qInstallMessageHandler(previousHandler.load());
	// Someone chained in front of ours after load: putting ours back in their chain keeps theirs working, and
	// ours now only forwards. (Qt offers no compare-and-swap, so this is the best order available.)
	if (current != &ModuleLog::handleMessage)
		qInstallMessageHandler(current);
}
