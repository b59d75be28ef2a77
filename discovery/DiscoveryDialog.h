#pragma once

#include <QDialog>
#include <QList>
#include <QString>

namespace Ui {
class DiscoveryDialog;
}

class viscaGeneralOps;

// Assigns a camera address and a display name to one of the eight camera slots: the operator types them, or
// searches the network with WS-Discovery and picks one of the identified cameras from the list.
class DiscoveryDialog : public QDialog {
	Q_OBJECT

public:
	explicit DiscoveryDialog(QWidget *parent = nullptr);
	~DiscoveryDialog() override;

	// Fills the address and name edits from the settings stored for the slot ("Camera1" ... "Camera8").
	void updateIPAndName(QString slotText);
	// Inserts a table row at `row` with the address and the announced name.
	void createItemsInARow(int row, QString ip, QString name);

signals:
	// A slot was assigned; `index` is the slot list index 0..7.
	void ipAssigned(int index, QString ip, QString name);

public slots:
	void on_SearchButton_pressed();
	void on_ApplyButton_released();
	void rowPressed(int row, int column);

private:
	void releaseCapabilities();

	Ui::DiscoveryDialog *ui;
	// The capability objects identification created for the listed cameras; the dialog owns them.
	QList<viscaGeneralOps *> capabilities;
};
