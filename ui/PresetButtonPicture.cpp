#include "ui/PresetButtonPicture.h"

#include "ui/ElidedCaption.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>

namespace {

// The frame the button's style draws stays visible around the picture, and with it the checked face.
constexpr int kInset = 2;
constexpr int kCorner = 3;
constexpr int kBandAlpha = 210;
constexpr int kTextMargin = 3;
constexpr int kPreviewScale = 2;
constexpr int kPreviewGap = 4;

} // namespace

PresetButtonPicture::PresetButtonPicture(QAbstractButton *button) : QWidget(button), button(button)
{
	setAttribute(Qt::WA_TransparentForMouseEvents);
	button->installEventFilter(this);
	fit();
}

void PresetButtonPicture::set(QAbstractButton *button, const QImage &image)
{
	auto *shown = button->findChild<PresetButtonPicture *>(QString(), Qt::FindDirectChildrenOnly);
	if (image.isNull()) {
		delete shown;
		return;
	}
	if (!shown)
		shown = new PresetButtonPicture(button);
	shown->picture = QPixmap::fromImage(image);
	shown->show();
	shown->update();
}

void PresetButtonPicture::fit()
{
	setGeometry(button->rect().adjusted(kInset, kInset, -kInset, -kInset));
}

PresetButtonPicture::~PresetButtonPicture()
{
	delete preview;
}

bool PresetButtonPicture::eventFilter(QObject *watched, QEvent *event)
{
	switch (event->type()) {
	case QEvent::Resize:
		fit();
		break;
	case QEvent::Enter:
	case QEvent::FocusIn:
		showPreview();
		break;
	case QEvent::Leave:
	case QEvent::FocusOut:
	case QEvent::Hide:
	case QEvent::MouseButtonPress:
		hidePreview();
		break;
	default:
		break;
	}
	return QWidget::eventFilter(watched, event);
}

void PresetButtonPicture::showPreview()
{
	if (!button->isVisible())
		return;
	if (!preview) {
		preview = new QLabel(nullptr, Qt::ToolTip);
		preview->setObjectName(QStringLiteral("PresetPicturePreview"));
		preview->setAlignment(Qt::AlignCenter);
		preview->setMargin(kPreviewGap);
	}
	QPixmap large = picture.scaled(picture.size() * kPreviewScale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
	QPainter painter(&large);
	const QFontMetrics metrics(button->font());
	const QRect band(0, large.height() - metrics.height() - 4, large.width(), metrics.height() + 4);
	QColor face = button->palette().color(QPalette::Window);
	face.setAlpha(kBandAlpha);
	painter.fillRect(band, face);
	painter.setFont(button->font());
	painter.setPen(button->palette().color(QPalette::WindowText));
	painter.drawText(band, Qt::AlignCenter, ElidedCaption::caption(button));
	painter.end();
	preview->setPixmap(large);
	preview->adjustSize();
	// Below the button, or above it when the screen ends first; within the screen's width.
	const QRect screen = button->screen() ? button->screen()->availableGeometry() : QRect();
	const QPoint foot = button->mapToGlobal(QPoint(button->width() / 2, button->height() + kPreviewGap));
	QPoint place(foot.x() - preview->width() / 2, foot.y());
	if (!screen.isNull()) {
		if (place.y() + preview->height() > screen.bottom())
			place.setY(button->mapToGlobal(QPoint()).y() - kPreviewGap - preview->height());
		place.setX(std::clamp(place.x(), screen.left(),
				      std::max(screen.left(), screen.right() - preview->width())));
	}
	preview->move(place);
	preview->show();
}

void PresetButtonPicture::hidePreview()
{
	if (preview)
		preview->hide();
}

void PresetButtonPicture::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	painter.setRenderHint(QPainter::SmoothPixmapTransform);
	painter.setRenderHint(QPainter::Antialiasing);
	QPainterPath outline;
	outline.addRoundedRect(QRectF(rect()), kCorner, kCorner);
	painter.setClipPath(outline);

	// The picture covers the button, cut at the sides rather than squeezed.
	const bool enabled = button->isEnabled();
	QRect target(QPoint(), picture.size().scaled(size(), Qt::KeepAspectRatioByExpanding));
	target.moveCenter(rect().center());
	painter.setOpacity(enabled ? 1.0 : 0.4);
	painter.drawPixmap(target, picture);
	painter.setOpacity(1.0);

	const bool on = button->isChecked() || button->isDown();
	const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
	const QFontMetrics metrics(button->font());
	const QRect band(0, height() - std::min(height(), metrics.height() + 2), width(),
			 std::min(height(), metrics.height() + 2));
	QColor face = button->palette().color(group, on ? QPalette::Highlight : QPalette::Button);
	face.setAlpha(kBandAlpha);
	painter.fillRect(band, face);
	painter.setFont(button->font());
	painter.setPen(button->palette().color(group, on ? QPalette::HighlightedText : QPalette::ButtonText));
	const QRect text = band.adjusted(kTextMargin, 0, -kTextMargin, 0);
	painter.drawText(text, Qt::AlignCenter,
			 metrics.elidedText(ElidedCaption::caption(button), Qt::ElideRight, text.width()));
}
