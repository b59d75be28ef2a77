#include "ui/GamepadAxisBar.h"

#include <QPainter>

#include <algorithm>

GamepadAxisBar::GamepadAxisBar(QWidget *parent) : QWidget(parent)
{
	setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GamepadAxisBar::setReading(const Reading &reading)
{
	now = reading;
	update();
}

double GamepadAxisBar::at(double value) const
{
	const double span = std::max(1, now.range.maximum - now.range.minimum);
	const double fraction = std::clamp((value - now.range.minimum) / span, 0.0, 1.0);
	return now.inverted ? 1.0 - fraction : fraction;
}

double GamepadAxisBar::restAt() const
{
	return at(now.range.rest);
}

double GamepadAxisBar::valueAt() const
{
	return at(now.value);
}

std::pair<double, double> GamepadAxisBar::deadZone() const
{
	// As the input reads it: a share of the throw from the rest towards each end.
	const double share = now.deadZonePercent / 100.0;
	const double low = at(now.range.rest - share * (now.range.rest - now.range.minimum));
	const double high = at(now.range.rest + share * (now.range.maximum - now.range.rest));
	return std::minmax({low, high});
}

QSize GamepadAxisBar::sizeHint() const
{
	return {120, fontMetrics().height()};
}

void GamepadAxisBar::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
	const auto x = [&frame](double fraction) { return frame.left() + fraction * frame.width(); };
	painter.fillRect(frame, palette().base());
	const auto [zoneFrom, zoneTo] = deadZone();
	painter.fillRect(QRectF(QPointF(x(zoneFrom), frame.top()), QPointF(x(zoneTo), frame.bottom())),
			 palette().mid());
	const auto [fillFrom, fillTo] = std::minmax({restAt(), valueAt()});
	painter.fillRect(QRectF(QPointF(x(fillFrom), frame.top()), QPointF(x(fillTo), frame.bottom())),
			 palette().highlight());
	painter.setPen(QPen(palette().text(), 2));
	painter.drawLine(QPointF(x(restAt()), frame.top()), QPointF(x(restAt()), frame.bottom()));
	painter.setPen(palette().dark().color());
	painter.drawRect(frame);
}
