#pragma once

#include <nlohmann/json.hpp>

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// Runs work on a QObject's thread for a caller on another thread and blocks the caller until the answer is there,
// like a blocking queued invocation that can be called off: close() releases every waiting caller and refuses
// later ones. A host that stops handling events while a request waits (OBS shutting down) so never leaves the
// caller's thread hanging, and nothing runs after close(). Copies share one state.
class UiThreadCall {
public:
	using Work = std::function<nlohmann::json()>;

	// `context` must stay alive until detachContext() has returned.
	explicit UiThreadCall(QObject *context);

	// The work's answer, or nothing when closed before it ran. On the context's thread it runs at once.
	std::optional<nlohmann::json> call(Work work) const;

	// Takes no lock and wakes nobody (callers see it within 50 ms), so it is safe even where the context's thread
	// was interrupted holding a lock, as when OBS runs its exit from a signal handler.
	void close();
	// Closes, then lets go of the context: from here no work is posted to it. Before the context goes.
	void detachContext();
	bool isClosed() const;

private:
	struct Shared;
	std::shared_ptr<Shared> shared;
};
