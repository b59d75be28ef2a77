#include "SimThread.h"

#include <QMetaObject>
#include <QObject>

SimThread::SimThread()
{
	m_thread.setObjectName(QStringLiteral("camera-simulator"));
}

SimThread::~SimThread()
{
	stop();
}

void SimThread::start()
{
	if (m_thread.isRunning())
		return;
	m_context = new QObject;
	m_context->moveToThread(&m_thread);
	m_thread.start();
}

void SimThread::stop()
{
	if (!m_thread.isRunning())
		return;
	m_thread.quit();
	m_thread.wait();
	// The thread has ended, so nothing runs on the context any more; deleting it from here is safe.
	delete m_context;
	m_context = nullptr;
}

void SimThread::runBlocking(const std::function<void()> &work)
{
	if (QThread::currentThread() == &m_thread || !m_context) {
		work();
		return;
	}
	QMetaObject::invokeMethod(m_context, work, Qt::BlockingQueuedConnection);
}
