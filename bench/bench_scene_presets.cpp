// How long a scene change holds OBS's UI thread when the settings link 100,000 scenes to presets: the scene
// events reach the linker as OBS's front end sends them, on the UI thread, and the time until the linker returns
// is measured. The first event pays for reading the settings; the later ones show the cost of each scene change
// while the file stays as it is: first within two seconds of its last change, when its bytes are compared on
// every read (its times cannot yet tell a change), then once it has settled. The linked slot has no address, so
// no camera is driven and nothing is sent.
//
// Usage: bench_scene_presets [EVENTS] (default 5 events of each kind after the first).

#include "BenchSupport.h"
#include "SettingsHome.h"
#include "control/CameraPool.h"
#include "scenes/ScenePresetLinker.h"
#include "scenes/SceneSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

constexpr int kLinks = 100000;

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

double sceneChangeMs(BenchSceneSource &scenes, const QString &scene)
{
	QElapsedTimer clock;
	clock.start();
	emit scenes.programSceneChanged(scene);
	return clock.nsecsElapsed() / 1e6;
}

void printMedian(const char *what, BenchSceneSource &scenes, int events)
{
	std::vector<double> times;
	for (int n = 0; n < events; ++n)
		times.push_back(sceneChangeMs(scenes, QStringLiteral("Scene %1").arg(n % 2 ? kLinks - 1 : 0)));
	if (!times.empty())
		std::printf("%s (median of %d): %.3f ms\n", what, events, bench::medianOf(times));
}

} // namespace

int main(int argc, char *argv[])
{
	QCoreApplication app(argc, argv);
	const int events = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 5;
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
	std::printf("links: %d\nfirst scene change: %.1f ms\n", kLinks, sceneChangeMs(scenes, last));
	printMedian("later scene changes, file just written", scenes, events);
	QThread::msleep(2500);
	printMedian("later scene changes, file settled", scenes, events);
	return 0;
}
