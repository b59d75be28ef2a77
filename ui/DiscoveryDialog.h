#pragma once

#include "discovery/CameraSearch.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>

#include <memory>

namespace Ui {
class DiscoveryDialog;
}
class SceneSource;

// Assigns a camera address and a display name to one of the eight camera slots: the operator types them, or
// searches the network with WS-Discovery and picks one of the identified cameras from the list. An empty address
// clears the slot. An address another slot has already is stored only when Apply is pressed a second time for it,
// after a line under the fields has named that slot. The search runs off the UI thread; rows appear as cameras are
// identified, and closing the dialog ends the search. Each slot may also name the OBS source that shows its camera
// (its tally lamp follows that source on program); a named source OBS no longer has is shown as such, never
// dropped unasked.
class QComboBox;
class QSpinBox;

class DiscoveryDialog : public QDialog {
	Q_OBJECT

public:
	// `sources` lists OBS's video sources; without it only a slot's stored source is offered. It opens on slot
	// `slot` (1..8), the camera in use; on the first slot for none.
	explicit DiscoveryDialog(SceneSource *sources = nullptr, QWidget *parent = nullptr, int slot = 1);
	~DiscoveryDialog() override;

	// Fills the address and name edits from the settings stored for the slot ("Camera1" ... "Camera8"); a slot
	// without a stored name offers its caption.
	void updateIPAndName(QString slotText);
	// Inserts a table row at `row` with the address and the announced name.
	void createItemsInARow(int row, QString ip, QString name);
	bool isSearching() const { return search != nullptr; }

signals:
	// A slot was assigned, or cleared when `ip` is empty; `index` is the slot list index 0..7.
	void ipAssigned(int index, QString ip, QString name);

public slots:
	void on_SearchButton_pressed();
	void on_ApplyButton_released();
	void rowPressed(int row, int column);

private:
	// The settings key prefix of the slot at a list index ("Camera1" ... "Camera8").
	static QString slotKey(int index);
	// A slot's caption: its stored name, or the localized slot name.
	static QString slotCaption(const QJsonObject &settings, const QString &slot);
	void fillSlotList();
	// The first slot other than `except` whose stored address is `ip`'s camera; -1 when there is none.
	static int slotWithAddress(const QJsonObject &settings, const QString &ip, int except);
	void storeSlot(int index, const CameraEndpoint &endpoint, const QString &name, const QString &source);
	// Offers OBS's video sources, with `linked` chosen (shown as missing when OBS does not have it).
	void showSources(const QString &linked);
	// A source name as a list shows it: control characters spelled out, a long name cut in its middle.
	QString shownSourceName(const QString &name) const;
	void showStatus(const QString &text);
	void onCameraIdentified(const QString &address, const QString &name, const CameraEndpoint &endpoint);
	// The dialect choice and its port, under the address.
	void addDialectRow();
	void showEndpoint(const CameraEndpoint &endpoint);
	CameraEndpoint chosenEndpoint(const QString &address) const;
	void onSearchFinished(int identified);
	void showSearchProgress();

	std::unique_ptr<Ui::DiscoveryDialog> ui;
	QPointer<SceneSource> sources;
	CameraSearch *search = nullptr; // child; the running search, if any
	int answered = 0;               // cameras that answered the running search
	QComboBox *dialectBox = nullptr;
	QSpinBox *portBox = nullptr;
	bool duplicateTold = false; // the status line named the slot that has the address in the field
};
