#pragma once

#include <QPixmap>
#include <QWidget>

class QAbstractButton;
class QImage;

// The picture a preset was stored with, on its button: it fills the button inside the button's frame, with the
// preset's caption on a translucent band across its foot in the button's own text and face colours (its checked
// colours while checked), so the caption reads under every theme and the selection still shows. The button keeps
// its size, its text and its accessible names, and takes the clicks.
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
	void fit();

	QAbstractButton *const button;
	QPixmap picture;
};
