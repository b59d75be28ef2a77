#pragma once

// Every message the process writes while a test runs, on any thread, so that a test can check what was logged.
// Debug lines stay here; the rest goes on to the handler that was installed before (the test framework's), so
// warnings still show in the test output.
//
// A std::mutex guards the record rather than a QMutex: Debian's Qt is not built for ThreadSanitizer, which cannot
// see a QMutex order the worker threads' writes against the test thread's reads.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>
#include <utility>
#include <vector>

class CapturedLog {
public:
	static void install() { state().previous = qInstallMessageHandler(collect); }
	static void uninstall() { qInstallMessageHandler(state().previous); }

	static void clear()
	{
		std::lock_guard<std::mutex> lock(state().mutex);
		state().lines.clear();
	}

	// The messages of one type, oldest first.
	static QStringList lines(QtMsgType type)
	{
		std::lock_guard<std::mutex> lock(state().mutex);
		QStringList found;
		for (const auto &line : state().lines)
			if (line.first == type)
				found << line.second;
		return found;
	}

	// Every message, oldest first.
	static QStringList all()
	{
		std::lock_guard<std::mutex> lock(state().mutex);
		QStringList found;
		for (const auto &line : state().lines)
			found << line.second;
		return found;
	}

	// Returns the messages of one type and forgets every message.
	static QStringList take(QtMsgType type)
	{
		const QStringList found = lines(type);
		clear();
		return found;
	}

private:
	struct State {
		std::mutex mutex;
		std::vector<std::pair<QtMsgType, QString>> lines;
		QtMessageHandler previous = nullptr;
	};
	static State &state()
	{
		static State shared;
		return shared;
	}
	static void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
	{
		{
			std::lock_guard<std::mutex> lock(state().mutex);
			state().lines.emplace_back(type, message);
		}
		if (type != QtDebugMsg && state().previous)
			state().previous(type, context, message);
	}
};
