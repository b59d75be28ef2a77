#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QImage;
class QLabel;

// The picture a preset was stored with, on its button: it fills the button inside the button's frame, with the
// preset's caption on a translucent band across its foot in the button's own text and face colours (its checked
// colours while checked), so the caption reads under every theme and the selection still shows. The button keeps
// its size, its text and its accessible names, and takes the clicks. A button is too small to tell shots apart
// by: while the pointer rests on it, or it has the keyboard focus, the picture shows twice its stored size beside
// it, with the caption.
class PresetButtonPicture : public QWidget {
	Q_OBJECT

public:
	// A null picture leaves the plain button.
	static void set(QAbstractButton *button, const QImage &picture);

protected:
	void paintEvent(QPaintEvent *event) override;
	bool eventFilter(QObject *watched, QEvent *event) override;

private:
	explicit PresetButtonPicture(QAbstractButton *button);
	~PresetButtonPicture() override;
	void fit();
	void showPreview();
	void hidePreview();

	QAbstractButton *const button;
	QPixmap picture;
	QPointer<QLabel> preview; // a tool-tip window of its own, made when first shown
};
