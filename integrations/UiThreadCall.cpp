#include "integrations/UiThreadCall.h"

#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// How often a waiting caller looks whether it was called off. close() takes no lock and wakes nobody, because OBS
// may run its exit (and so close()) from a signal handler on the UI thread, interrupting whatever that thread
// holds, this class's own lock included.
constexpr std::chrono::milliseconds kCloseCheck{50};

struct Pending {
	bool done = false;
	nlohmann::json answer;
};

} // namespace

struct UiThreadCall::Shared {
	std::mutex contextMutex; // held while work is posted, so the context cannot go meanwhile
	QObject *context = nullptr;
	std::mutex mutex; // guards every Pending
	std::condition_variable answered;
	std::atomic<bool> closed{false};
};

UiThreadCall::UiThreadCall(QObject *context) : shared(std::make_shared<Shared>())
{
	shared->context = context;
}

std::optional<nlohmann::json> UiThreadCall::call(Work work) const
{
	std::unique_lock<std::mutex> posting(shared->contextMutex);
	if (shared->closed || !shared->context)
		return std::nullopt;
	if (QThread::currentThread() == shared->context->thread()) {
		posting.unlock();
		return work(); // already on the context's thread: waiting for it would never end
	}
	auto pending = std::make_shared<Pending>();
	// The work looks at `closed` again where it runs: close() may come between the post and the event.
	QMetaObject::invokeMethod(
		shared->context,
		[shared = shared, pending, work = std::move(work)]() {
			if (shared->closed)
				return;
			nlohmann::json answer = work();
			std::lock_guard<std::mutex> guard(shared->mutex);
			pending->answer = std::move(answer);
			pending->done = true;
			shared->answered.notify_all();
		},
		Qt::QueuedConnection);
	posting.unlock();
	std::unique_lock<std::mutex> lock(shared->mutex);
	while (!pending->done && !shared->closed)
		shared->answered.wait_for(lock, kCloseCheck);
	if (!pending->done)
		return std::nullopt;
	return std::move(pending->answer);
}

void UiThreadCall::close()
{
	shared->closed = true;
}

void UiThreadCall::detachContext()
{
	close();
	std::lock_guard<std::mutex> guard(shared->contextMutex);
	shared->context = nullptr;
}

bool UiThreadCall::isClosed() const
{
	return shared->closed;
}
