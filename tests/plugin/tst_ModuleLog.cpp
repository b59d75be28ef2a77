// Our lines in OBS's log: the module's Qt message handler over the real libobs, whose log handler is replaced by
// one that captures what OBS would write to its log file. Every other message must reach the handler that was in
// place before, as OBS's own or another plug-in's would.
#include "TableRows.h"
#include "plugin/ModuleLog.h"

#include <util/base.h>

#include <QMutex>
#include <QtTest>

#include <cstdarg>
#include <thread>
#include <vector>

namespace {

struct HostLine {
	int level;
	QString text;
	bool operator==(const HostLine &other) const { return level == other.level && text == other.text; }
};

QMutex logMutex;
QList<HostLine> hostLines;  // what libobs's log handler received
QStringList forwardedLines; // what the handler before ours received, as "category: message"
QStringList frontLines;     // what a handler chained in front of ours received

void captureHostLog(int level, const char *format, va_list args, void *)
{
	char line[4096];
	vsnprintf(line, sizeof(line), format, args);
	QMutexLocker lock(&logMutex);
	hostLines.append({level, QString::fromUtf8(line)});
}

void previousHandler(QtMsgType, const QMessageLogContext &context, const QString &message)
{
	QMutexLocker lock(&logMutex);
	forwardedLines << QString::fromLatin1(context.category) + QStringLiteral(": ") + message;
}

// A plug-in loaded after ours that chains its handler in front, as ours does.
QtMessageHandler behindFront = nullptr;
void frontHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	{
		QMutexLocker lock(&logMutex);
		frontLines << message;
	}
	behindFront(type, context, message);
}

// A message as a logging category hands it to the installed handler.
void log(QtMsgType type, const char *category, const QString &text)
{
	qt_message_output(type, QMessageLogContext(nullptr, 0, nullptr, category), text);
}

QList<HostLine> takeHostLines()
{
	QMutexLocker lock(&logMutex);
	QList<HostLine> lines;
	lines.swap(hostLines);
	return lines;
}

QStringList takeForwardedLines()
{
	QMutexLocker lock(&logMutex);
	QStringList lines;
	lines.swap(forwardedLines);
	return lines;
}

// A message of a category and type, and the level it reaches OBS's log with; -1: not ours, handed on instead.
struct Route {
	const char *name;
	const char *category;
	QtMsgType type;
	const char *text;
	int level;
};
const Route kRoutes[] = {
	{"debug stays debug", "kavren.link", QtDebugMsg, "countingSerialNum: 7", LOG_DEBUG},
	{"info", "kavren.camera", QtInfoMsg, "Camera 2 answers again", LOG_INFO},
	{"warning", "kavren.settings", QtWarningMsg, "Settings file /x held no JSON object; kept it as /y",
	 LOG_WARNING},
	{"critical is an error", "kavren.relay", QtCriticalMsg, "down", LOG_ERROR},
	{"a category below ours", "kavren.relay.websocket", QtWarningMsg, "[fail] handshake", LOG_WARNING},
	{"percent signs are text", "kavren.camera", QtWarningMsg, "100% %s %n %d", LOG_WARNING},
	{"non-ASCII text", "kavren.discovery", QtInfoMsg, "Bühne links ±30°", LOG_INFO},
	{"another plug-in's", "obs.websocket", QtWarningMsg, "not ours", -1},
	{"ours only as a part", "qt.kavren", QtWarningMsg, "not ours", -1},
};

} // namespace

class tst_ModuleLog : public QObject {
	Q_OBJECT

	QtMessageHandler frameworkHandler = nullptr;

private slots:
	void initTestCase()
	{
		base_set_log_handler(captureHostLog, nullptr);
		frameworkHandler = qInstallMessageHandler(previousHandler);
	}
	void cleanupTestCase()
	{
		qInstallMessageHandler(frameworkHandler);
		base_set_log_handler(nullptr, nullptr);
	}
	void init()
	{
		ModuleLog::install();
		takeHostLines();
		takeForwardedLines();
	}
	void cleanup() { ModuleLog::remove(); }

	void ourCategoriesReachTheHostLog_data() { addTableRows(kRoutes); }
	void ourCategoriesReachTheHostLog()
	{
		const Route &row = currentTableRow(kRoutes);
		const QString text = QString::fromUtf8(row.text);
		log(row.type, row.category, text);
		if (row.level < 0) {
			QCOMPARE(takeHostLines(), QList<HostLine>());
			QCOMPARE(takeForwardedLines(),
				 QStringList{QString::fromLatin1(row.category) + QStringLiteral(": ") + text});
			return;
		}
		QCOMPARE(takeHostLines(), QList<HostLine>({{row.level, QStringLiteral("[Kavren] ") + text}}));
		QCOMPARE(takeForwardedLines(), QStringList());
	}

	void removedHandlerGivesThePreviousItsPlace()
	{
		ModuleLog::remove();
		log(QtWarningMsg, "kavren.settings", QStringLiteral("after unload"));
		QCOMPARE(takeHostLines(), QList<HostLine>());
		QCOMPARE(takeForwardedLines(), QStringList{QStringLiteral("kavren.settings: after unload")});
		QVERIFY(qInstallMessageHandler(previousHandler) == &previousHandler);
	}

	void removedBehindAnotherHandlerOnlyForwards()
	{
		behindFront = qInstallMessageHandler(frontHandler);
		QVERIFY(behindFront == &ModuleLog::handleMessage);
		ModuleLog::remove();
		// The handler in front stays in place, and its chain still reaches the handler before ours.
		QVERIFY(qInstallMessageHandler(frontHandler) == &frontHandler);
		log(QtWarningMsg, "kavren.settings", QStringLiteral("after unload"));
		QCOMPARE(frontLines, QStringList{QStringLiteral("after unload")});
		QCOMPARE(takeHostLines(), QList<HostLine>());
		QCOMPARE(takeForwardedLines(), QStringList{QStringLiteral("kavren.settings: after unload")});
		qInstallMessageHandler(previousHandler);
	}

	void installedTwiceHandsOnOnce()
	{
		ModuleLog::install();
		log(QtWarningMsg, "obs.websocket", QStringLiteral("once"));
		QCOMPARE(takeForwardedLines(), QStringList{QStringLiteral("obs.websocket: once")});
	}

	void linesFromManyThreadsAllArrive()
	{
		constexpr int kThreads = 4;
		constexpr int kLinesEach = 200;
		std::vector<std::thread> threads;
		for (int thread = 0; thread < kThreads; ++thread) {
			threads.emplace_back([thread] {
				for (int line = 0; line < kLinesEach; ++line) {
					log(QtInfoMsg, "kavren.camera", QStringLiteral("%1/%2").arg(thread).arg(line));
					log(QtInfoMsg, "obs.other", QStringLiteral("%1/%2").arg(thread).arg(line));
				}
			});
		}
		for (std::thread &thread : threads)
			thread.join();

		QSet<QString> ours;
		for (const HostLine &line : takeHostLines()) {
			QCOMPARE(line.level, int(LOG_INFO));
			ours << line.text;
		}
		QCOMPARE(ours.size(), kThreads * kLinesEach);
		QVERIFY(ours.contains(QStringLiteral("[Kavren] 3/199")));
		QCOMPARE(takeForwardedLines().size(), kThreads * kLinesEach);
	}
};

QTEST_GUILESS_MAIN(tst_ModuleLog)
#include "tst_ModuleLog.moc"
