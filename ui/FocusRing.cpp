#include "ui/FocusRing.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace {

// The ring's width and the gap between it and the control.
constexpr int kWidth = 2;
constexpr int kGap = 1;

} // namespace

void FocusRing::install(QWidget *window)
{
	if (!window->findChild<FocusRing *>(QString(), Qt::FindDirectChildrenOnly))
		new FocusRing(window);
}

FocusRing::FocusRing(QWidget *window) : QWidget(window)
{
	setAttribute(Qt::WA_TransparentForMouseEvents);
	setAttribute(Qt::WA_NoSystemBackground);
	setFocusPolicy(Qt::NoFocus);
	hide();
	connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusRing::follow(QWidget *now)
{
	QWidget *window = parentWidget();
	if (focused)
		focused->removeEventFilter(this);
	focused = now && now != window && window->isAncestorOf(now) ? now : nullptr;
	if (!focused) {
		hide();
		return;
	}
	focused->installEventFilter(this);
	place();
}

void FocusRing::place()
{
	if (!focused || !focused->isVisible()) {
		hide();
		return;
	}
	const int margin = kWidth + kGap;
	const QRect around(focused->mapTo(parentWidget(), QPoint(0, 0)), focused->size());
	setGeometry(around.adjusted(-margin, -margin, margin, margin));
	raise();
	show();
	update();
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
	if (watched == focused) {
		switch (event->type()) {
		case QEvent::Move:
		case QEvent::Resize:
		case QEvent::Show:
		case QEvent::Hide:
			place();
			break;
		default:
			break;
		}
	}
	return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	painter.setRenderHint(QPainter::Antialiasing);
	painter.setPen(QPen(palette().color(QPalette::Text), kWidth));
	const qreal half = kWidth / 2.0;
	painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 4, 4);
}
