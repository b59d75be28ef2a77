#pragma once

#include "relay/RelaySettings.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QTimer;
class RelayService;
namespace Ui {
class RelayDialog;
}

// The relay as the operator sees and sets it: on or off, the TCP port, whether it listens (or why not), the clients
// connected now, where clients may connect from and the secret they must present, where datagrams may go, and the
// web pages allowed to connect. A warning stands out while any machine on the network may drive the cameras.
// Apply stores the settings and restarts the relay with them; the dialog stays open to show how that went.
class RelayDialog : public QDialog {
	Q_OBJECT

public:
	explicit RelayDialog(RelayService *service, QWidget *parent = nullptr);
	~RelayDialog() override;

	// How often the state (above all the number of clients) is shown afresh.
	static constexpr int kRefreshIntervalMs = 500;

private:
	void setTexts();
	void showSettings(const RelaySettings &settings);
	RelaySettings chosenSettings() const;
	void showState();
	void enableOptions();
	void apply();

	std::unique_ptr<Ui::RelayDialog> ui;
	QPointer<RelayService> relayService;
	QTimer *refreshTimer = nullptr;
};
