#pragma once

#include <QtGlobal>

// Routes the module's Qt logging categories (names starting with "kavren") to OBS's log, so that an operator who
// sends Help → Log Files sends our lines too. Every other message goes to the handler that was installed before,
// untouched: OBS's own, another plug-in's or Qt's default.
namespace ModuleLog {

// Chains the module's handler in front of the current one. Called at module load, on the UI thread.
void install();
// Stops routing and gives the previous handler its place back. When another handler was chained in front of ours
// since, ours stays in that chain and only forwards. Called at module unload.
void remove();

// The handler itself: the level OBS gets and the "[Kavren]" prefix, or the previous handler. It may run on any
// thread, before install() and after remove() too.
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

} // namespace ModuleLog
