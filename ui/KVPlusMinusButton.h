#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class KVPlusMinusButton;
}

// A minus button, a value field and a plus button in one row. It steps through the integers between a minimum
// and a maximum (range mode) or through a list of named values such as shutter speeds (element mode) and reports
// every step with the integer that belongs to the new value. It holds no camera state: the owner turns the
// signal into a camera command and feeds camera readings back through setValue().
class KVPlusMinusButton : public QWidget {
	Q_OBJECT

public:
	explicit KVPlusMinusButton(QWidget *parent = nullptr);
	~KVPlusMinusButton() override;

	// Element mode: the names are stepped through in ascending order of their values.
	void setElements(QMap<std::string, int> elements);
	// Range mode. Equal bounds leave nothing to step, so the field is emptied and the controls disabled.
	void setMinMaxValue(int min, int max);
	// Shows a value without emitting valueChanged(); false (and the field unchanged) when it cannot be shown.
	bool setValue(int value);
	// Range mode: the shown number (the name is not used). Element mode: the value of `name`, or -1.
	int getValue(QString name);
	// Enables or disables the two buttons when the range leaves something to step; the field is always disabled.
	void setEnabledUI(bool enabled);
	// Names the control and its parts for screen readers after the setting it steps ("Iris", "Iris: increase").
	void setAccessibleCaption(const QString &caption);

signals:
	void valueChanged(int value);

private:
	void stepUp();
	void stepDown();

	std::unique_ptr<Ui::KVPlusMinusButton> ui;
	bool rangeMode = false;
	int minValue = 0;
	int maxValue = 0;
	QList<std::string> _elements;
	QMap<std::string, int> elementMap;
};
