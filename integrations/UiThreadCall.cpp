#include "integrations/UiThreadCall.h"

#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

struct UiThreadCall::Shared {
	QObject *context = nullptr;
	std::mutex mutex;
	std::condition_variable answered;
	bool closed = false;
};

namespace {

struct Pending {
	bool done = false;
	nlohmann::json answer;
};

} // namespace

UiThreadCall::UiThreadCall(QObject *context) : shared(std::make_shared<Shared>())
{
	shared->context = context;
}

std::optional<nlohmann::json> UiThreadCall::call(Work work) const
{
	auto pending = std::make_shared<Pending>();
	std::unique_lock<std::mutex> lock(shared->mutex);
	if (shared->closed)
		return std::nullopt;
	if (QThread::currentThread() == shared->context->thread()) {
		// Already on the context's thread: waiting for it would never end.
		lock.unlock();
		return work();
	}
	// Posted under the lock: close() cannot run in between, so the context is still alive here. The work reads
	// `closed` again on the context's thread because close() may come after the post and before the event.
	QMetaObject::invokeMethod(
		shared->context,
		[shared = shared, pending, work = std::move(work)]() {
			{
				std::lock_guard<std::mutex> guard(shared->mutex);
				if (shared->closed)
					return;
			}
			nlohmann::json answer = work();
			std::lock_guard<std::mutex> guard(shared->mutex);
			pending->answer = std::move(answer);
			pending->done = true;
			shared->answered.notify_all();
		},
		Qt::QueuedConnection);
	shared->answered.wait(lock, [&] { return pending->done || shared->closed; });
	if (!pending->done)
		return std::nullopt;
	return std::move(pending->answer);
}

void UiThreadCall::close()
{
	std::lock_guard<std::mutex> guard(shared->mutex);
	shared->closed = true;
	shared->answered.notify_all();
}

bool UiThreadCall::isClosed() const
{
	std::lock_guard<std::mutex> guard(shared->mutex);
	return shared->closed;
}
