#include "SimThread.h"

#include <QMetaObject>
#include <QObject>

SimThread::SimThread()
{
	loopThread.setObjectName(QStringLiteral("camera-simulator"));
}

SimThread::~SimThread()
{
	stop();
}

void SimThread::start()
{
	if (loopThread.isRunning())
		return;
	context = new QObject;
	context->moveToThread(&loopThread);
	loopThread.start();
}

void SimThread::stop()
{
	if (!loopThread.isRunning())
		return;
	loopThread.quit();
	loopThread.wait();
	// The thread has ended, so nothing runs on the context any more; deleting it from here is safe.
	delete context;
	context = nullptr;
}

void SimThread::runBlocking(const std::function<void()> &work)
{
	if (QThread::currentThread() == &loopThread || !context) {
		work();
		return;
	}
	QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
}
