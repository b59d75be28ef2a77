#include "plugin/ObsSourceCapture.h"

#include "plugin/PluginLog.h"

#include <graphics/vec4.h>
#include <util/platform.h>

#include <QImage>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The largest size within `box` with the source's aspect.
QSize fitted(uint32_t width, uint32_t height, const QSize &box)
{
	const double scale = std::min(double(box.width()) / width, double(box.height()) / height);
	return QSize(std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale))));
}

// How often the graphics thread looks for a source still to be rendered ahead (one that was not there yet).
constexpr quint64 kReadyLookNs = 1000000000;

double milliseconds(quint64 ns)
{
	return double(ns) / 1e6;
}

} // namespace

ObsSourceCapture::ObsSourceCapture(QObject *parent) : SourceCapture(parent)
{
	running = true;
	obs_add_main_render_callback(&ObsSourceCapture::onRender, this);
	obs_frontend_add_event_callback(&ObsSourceCapture::onFrontendEvent, this);
}

ObsSourceCapture::~ObsSourceCapture()
{
	stop();
}

void ObsSourceCapture::onFrontendEvent(enum obs_frontend_event event, void *self)
{
	if (event == OBS_FRONTEND_EVENT_EXIT)
		static_cast<ObsSourceCapture *>(self)->stop();
}

void ObsSourceCapture::stop()
{
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (!running)
			return;
		running = false;
		for (const Waiting &capture : waiting)
			obs_weak_source_release(capture.source);
		waiting.clear();
	}
	obs_frontend_remove_event_callback(&ObsSourceCapture::onFrontendEvent, this);
	// Returns once a render in progress has ended: nothing of ours runs on the graphics thread afterwards.
	obs_remove_main_render_callback(&ObsSourceCapture::onRender, this);
	obs_enter_graphics();
	gs_texrender_destroy(texture);
	gs_stagesurface_destroy(staging);
	obs_leave_graphics();
	texture = nullptr;
	staging = nullptr;
	answers.clear();
}

void ObsSourceCapture::capture(const QString &sourceName, const QSize &box, Done done)
{
	const quint64 id = ++nextId;
	answers.insert(id, std::move(done));
	obs_source_t *source = obs_get_source_by_name(sourceName.toUtf8().constData());
	// A removed source stays findable by its name while something still holds it; to the operator it is gone.
	if (source && obs_source_removed(source)) {
		obs_source_release(source);
		source = nullptr;
	}
	const bool sized = source && obs_source_get_width(source) > 0 && obs_source_get_height(source) > 0;
	if (!sized) {
		const QString problem = source ? QStringLiteral("has no size") : QStringLiteral("is not there");
		obs_source_release(source);
		QMetaObject::invokeMethod(
			this, [this, id, problem]() { finish(id, {QImage(), problem}); }, Qt::QueuedConnection);
		return;
	}
	std::lock_guard<std::mutex> lock(mutex);
	waiting.push_back({id, obs_source_get_weak_source(source), box});
	obs_source_release(source);
}

void ObsSourceCapture::keepReady(const QStringList &sourceNames, const QSize &box)
{
	std::lock_guard<std::mutex> lock(mutex);
	readySources = sourceNames;
	readyBox = box;
}

void ObsSourceCapture::finish(quint64 id, const Picture &picture)
{
	const Done done = answers.take(id);
	if (done)
		done(picture);
}

void ObsSourceCapture::onRender(void *self, uint32_t, uint32_t)
{
	static_cast<ObsSourceCapture *>(self)->renderStep();
}

void ObsSourceCapture::renderStep()
{
	if (staged) {
		readStaged();
		return;
	}
	Waiting next;
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (!waiting.empty()) {
			next = waiting.front();
			waiting.pop_front();
		}
	}
	if (next.source)
		stage(next);
	else
		readyNextSource();
}

void ObsSourceCapture::readyNextSource()
{
	const quint64 now = os_gettime_ns();
	if (now - lastReadyLook < kReadyLookNs)
		return;
	lastReadyLook = now;
	QStringList names;
	QSize box;
	{
		std::lock_guard<std::mutex> lock(mutex);
		names = readySources;
		box = readyBox;
	}
	for (const QString &name : names) {
		if (rendered.contains(name))
			continue;
		obs_source_t *source = obs_get_source_by_name(name.toUtf8().constData());
		const bool renders = source && !obs_source_removed(source) && obs_source_get_width(source) > 0 &&
				     obs_source_get_height(source) > 0;
		if (renders) {
			rendered.insert(name);
			// One source a frame; read back in the next like any picture, and handed to nobody.
			stage({0, obs_source_get_weak_source(source), box});
		}
		obs_source_release(source);
		if (renders)
			return;
	}
}

void ObsSourceCapture::stage(const Waiting &capture)
{
	const quint64 started = os_gettime_ns();
	obs_source_t *source = obs_weak_source_get_source(capture.source);
	obs_weak_source_release(capture.source);
	const uint32_t width = source ? obs_source_get_width(source) : 0;
	const uint32_t height = source ? obs_source_get_height(source) : 0;
	if (!width || !height) {
		obs_source_release(source);
		const QString problem = source ? QStringLiteral("has no size") : QStringLiteral("is not there");
		QMetaObject::invokeMethod(
			this, [this, id = capture.id, problem]() { finish(id, {QImage(), problem}); },
			Qt::QueuedConnection);
		return;
	}
	const QSize size = fitted(width, height, capture.box);
	if (!texture)
		texture = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
	if (!staging || int(gs_stagesurface_get_width(staging)) != size.width() ||
	    int(gs_stagesurface_get_height(staging)) != size.height()) {
		gs_stagesurface_destroy(staging);
		staging = gs_stagesurface_create(uint32_t(size.width()), uint32_t(size.height()), GS_RGBA);
	}
	gs_texrender_reset(texture);
	if (gs_texrender_begin_with_color_space(texture, uint32_t(size.width()), uint32_t(size.height()), GS_CS_SRGB)) {
		vec4 clear;
		vec4_zero(&clear);
		gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
		gs_ortho(0.0f, float(width), 0.0f, float(height), -100.0f, 100.0f);
		gs_blend_state_push();
		gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
		obs_source_video_render(source);
		gs_blend_state_pop();
		gs_texrender_end(texture);
		gs_stage_texture(staging, gs_texrender_get_texture(texture));
		staged = Staged{capture.id, size.width(), size.height(), 0};
	}
	obs_source_release(source);
	if (staged)
		staged->renderNs = os_gettime_ns() - started;
	else
		QMetaObject::invokeMethod(
			this,
			[this, id = capture.id]() { finish(id, {QImage(), QStringLiteral("could not be rendered")}); },
			Qt::QueuedConnection);
}

void ObsSourceCapture::readStaged()
{
	const quint64 started = os_gettime_ns();
	const Staged done = *staged;
	staged.reset();
	QImage image(done.width, done.height, QImage::Format_RGBA8888);
	uint8_t *data = nullptr;
	uint32_t lineSize = 0;
	if (gs_stagesurface_map(staging, &data, &lineSize)) {
		const size_t rowBytes = size_t(done.width) * 4;
		for (int y = 0; y < done.height; ++y)
			std::memcpy(image.scanLine(y), data + size_t(y) * lineSize, rowBytes);
		gs_stagesurface_unmap(staging);
	} else {
		image = QImage();
	}
	const quint64 mapNs = os_gettime_ns() - started;
	const Picture picture{image, image.isNull() ? QStringLiteral("could not be read back") : QString()};
	// Told from the UI thread: the log's file is no business of the graphics thread.
	QMetaObject::invokeMethod(
		this,
		[this, id = done.id, picture, renderNs = done.renderNs, mapNs]() {
			kavren_log(LOG_INFO,
				   "%s: %.3f ms on OBS's graphics thread (%.3f ms render and stage, %.3f ms map)",
				   id ? "preset picture" : "a slot's source rendered ahead of its first preset picture",
				   milliseconds(renderNs + mapNs), milliseconds(renderNs), milliseconds(mapNs));
			finish(id, picture);
		},
		Qt::QueuedConnection);
}
