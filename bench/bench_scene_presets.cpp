// How long a scene change holds OBS's UI thread when the settings link 100,000 scenes to presets: the scene
// events reach the linker as OBS's front end sends them, on the UI thread, and the time until the linker returns
// is measured. The first event pays for reading the settings; the later ones show the cost of each scene change
// while the file stays as it is: first within two seconds of its last change, when its bytes are compared on
// every read (its times cannot yet tell a change), then once it has settled. The linked slot has no address, so
// no camera is driven and nothing is sent.
//
// Then another OBS shares the file and renames scenes as fast as it can, each rename a rewrite of the whole file
// under the lock, while this one cuts every 20 ms and renames a scene of its own every 100 ms, as two instances of
// OBS did when a scene was renamed in both: the time each cut and each rename holds the UI thread, and the longest
// the UI thread was held by anything (a 2 ms timer's lateness), against the cuts of the settled file and a frame
// at 60 Hz.
//
// Usage: bench_scene_presets [EVENTS] [SECONDS] (default 5 events of each kind after the first, and 10 s of
// sharing).

#include "BenchSupport.h"
#include "SettingsHome.h"
#include "control/CameraPool.h"
#include "scenes/ScenePresetLinker.h"
#include "scenes/SceneSource.h"
#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kLinks = 100000;
constexpr double kFrameMs = 1000.0 / 60;
const char *const kOtherObsArgument = "--rename-as-another-obs";

class BenchSceneSource : public SceneSource {
public:
	QStringList sceneNames() const override { return {}; }
	QStringList videoSourceNames() const override { return {}; }
	QStringList programSourceNames() const override { return {}; }
};

QJsonArray manyLinks()
{
	QJsonArray links;
	for (int n = 0; n < kLinks; ++n)
		links.append(QJsonObject{{QStringLiteral("scene"), QStringLiteral("Scene %1").arg(n)},
					 {QStringLiteral("slot"), 1 + n % 8},
					 {QStringLiteral("preset"), 1 + n % 19},
					 {QStringLiteral("on"), QStringLiteral("program")}});
	return links;
}

// The time the UI thread itself ran: on two cores shared with another OBS, the writer and the linker's thread, a
// cut may wait for a core without any work of its own.
double threadCpuMs()
{
	timespec time{};
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
	return time.tv_sec * 1e3 + time.tv_nsec / 1e6;
}

double sceneChangeMs(BenchSceneSource &scenes, const QString &scene, double *cpuMs = nullptr)
{
	const double cpuBefore = threadCpuMs();
	QElapsedTimer clock;
	clock.start();
	emit scenes.programSceneChanged(scene);
	if (cpuMs)
		*cpuMs = threadCpuMs() - cpuBefore;
	return clock.nsecsElapsed() / 1e6;
}

double printMedian(const char *what, BenchSceneSource &scenes, int events)
{
	std::vector<double> times;
	for (int n = 0; n < events; ++n)
		times.push_back(sceneChangeMs(scenes, QStringLiteral("Scene %1").arg(n % 2 ? kLinks - 1 : 0)));
	if (!times.empty())
		std::printf("%s (median of %d): %.3f ms\n", what, events, bench::medianOf(times));
	return bench::medianOf(times);
}

double percentile(std::vector<double> samples, double share)
{
	if (samples.empty())
		return 0.0;
	std::sort(samples.begin(), samples.end());
	return samples[std::min(samples.size() - 1, size_t(share * double(samples.size())))];
}

// Another OBS sharing the settings folder: renames one of its scenes again and again for `seconds`, each time a
// read-modify-write of the whole file under the lock file, as the product's own writer makes it. Prints how many.
int renameAsAnotherObs(const QString &directory, int seconds)
{
	const QString path = SettingsStorage::filePath(directory);
	QElapsedTimer clock;
	clock.start();
	int renames = 0;
	while (clock.elapsed() < seconds * 1000) {
		QLockFile lock(path + QStringLiteral(".lock"));
		if (!lock.tryLock(2000))
			continue;
		QFile file(path);
		if (!file.open(QIODevice::ReadOnly))
			return 1;
		QJsonObject settings = QJsonDocument::fromJson(file.readAll()).object();
		file.close();
		QJsonArray links = settings.value(QStringLiteral("ScenePresets")).toArray();
		QJsonObject link = links.at(kLinks / 2).toObject();
		link[QStringLiteral("scene")] = QStringLiteral("Theirs %1").arg(renames);
		links[kLinks / 2] = link;
		settings[QStringLiteral("ScenePresets")] = links;
		QSaveFile out(path);
		if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(settings).toJson()) < 0 || !out.commit())
			return 1;
		++renames;
	}
	std::printf("%d\n", renames);
	return 0;
}

// The UI thread while another OBS rewrites the file: cuts, renames of our own, and the longest hold.
void shareWithAnotherObs(BenchSceneSource &scenes, int seconds, double settledCutMs)
{
	QProcess other;
	other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
	other.start(QCoreApplication::applicationFilePath(),
		    {QLatin1String(kOtherObsArgument), Utils::getAppDataPath(), QString::number(seconds)});
	if (!other.waitForStarted())
		return;

	std::vector<double> cuts, cutsCpu, renames;
	double longestHold = 0;
	QElapsedTimer clock, sinceTick;
	clock.start();
	sinceTick.start();
	QTimer ticks, cutting, renaming;
	QObject::connect(&ticks, &QTimer::timeout, [&]() {
		longestHold = std::max(longestHold, sinceTick.nsecsElapsed() / 1e6 - ticks.interval());
		sinceTick.restart();
	});
	int cut = 0;
	QObject::connect(&cutting, &QTimer::timeout, [&]() {
		double cpu = 0;
		cuts.push_back(sceneChangeMs(scenes, QStringLiteral("Scene %1").arg(cut++ % 2 ? kLinks - 1 : 0), &cpu));
		cutsCpu.push_back(cpu);
	});
	int renamed = 0;
	QObject::connect(&renaming, &QTimer::timeout, [&]() {
		QElapsedTimer each;
		each.start();
		emit scenes.sceneRenamed(QStringLiteral("Scene %1").arg(1 + renamed),
					 QStringLiteral("Ours %1").arg(1 + renamed));
		++renamed;
		renames.push_back(each.nsecsElapsed() / 1e6);
	});
	ticks.start(2);
	cutting.start(20);
	renaming.start(100);
	QEventLoop loop;
	QObject::connect(&other, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
	loop.exec();
	ticks.stop();
	cutting.stop();
	renaming.stop();
	const int theirs = other.readAllStandardOutput().trimmed().toInt();

	// Our renames, written by now or never.
	QElapsedTimer finishing;
	finishing.start();
	const bool finished = SettingsFile::finishWrites(60000);
	const QJsonArray links = SettingsHome::read().value(QStringLiteral("ScenePresets")).toArray();
	int oursWritten = 0;
	for (const QJsonValue &link : links)
		oursWritten +=
			link.toObject().value(QStringLiteral("scene")).toString().startsWith(QLatin1String("Ours"));
	std::printf("another OBS renamed %d times in %d s; this one renamed %d times, %d of them in the file (%s after "
		    "%.0f ms more)\n",
		    theirs, seconds, renamed, oursWritten, finished ? "all written" : "not all written",
		    finishing.nsecsElapsed() / 1e6);
	std::printf("cuts while shared: median %.3f ms, 90th percentile %.3f ms, longest %.3f ms (%zu cuts)\n",
		    bench::medianOf(cuts), percentile(cuts, 0.9), percentile(cuts, 1.0), cuts.size());
	std::printf("cuts' own work on the UI thread (its CPU time): 90th percentile %.3f ms, longest %.3f ms\n",
		    percentile(cutsCpu, 0.9), percentile(cutsCpu, 1.0));
	std::printf("our renames: longest %.3f ms; UI thread held at most %.3f ms\n", percentile(renames, 1.0),
		    longestHold);
	std::printf("shared/settled cut ratio: %.2f (90th percentile), longest cut/frame ratio: %.2f, longest "
		    "hold/frame ratio: %.2f\n",
		    settledCutMs > 0 ? percentile(cuts, 0.9) / settledCutMs : 0.0, percentile(cuts, 1.0) / kFrameMs,
		    longestHold / kFrameMs);
}

} // namespace

int main(int argc, char *argv[])
{
	QCoreApplication app(argc, argv);
	if (argc == 4 && qstrcmp(argv[1], kOtherObsArgument) == 0)
		return renameAsAnotherObs(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
	const int events = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 5;
	const int seconds = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 10;
	// A camera slot without an address is a warning per event; the figures are what counts here.
	QLoggingCategory::setFilterRules(QStringLiteral("kavren.*.warning=false\nkavren.*.info=false"));
	SettingsHome home;
	if (!home.setUp())
		return 1;
	SettingsHome::write(QJsonObject{{QStringLiteral("ScenePresets"), manyLinks()}});

	CameraPool pool(CameraWorker::Options{});
	BenchSceneSource scenes;
	ScenePresetLinker linker(&scenes, &pool);

	const QString last = QStringLiteral("Scene %1").arg(kLinks - 1);
	QElapsedTimer made;
	made.start();
	std::printf("links: %d\nfirst scene change: %.1f ms\n", kLinks, sceneChangeMs(scenes, last));
	// A table this large is made on the linker's thread; the scene changes below look it up.
	QEventLoop waitForTable;
	QObject::connect(&linker, &ScenePresetLinker::linksChanged, &waitForTable, &QEventLoop::quit);
	QTimer::singleShot(60000, &waitForTable, &QEventLoop::quit);
	waitForTable.exec();
	std::printf("links in use after: %.1f ms\n", made.nsecsElapsed() / 1e6);
	printMedian("later scene changes, file just written", scenes, events);
	QThread::msleep(2500);
	const double settled = printMedian("later scene changes, file settled", scenes, events);
	shareWithAnotherObs(scenes, seconds, settled);
	return 0;
}
