// Sanity checks of the simulated camera's own byte tables, driven with hand-written datagrams from a raw socket.
// The camera link's tests exercise the simulator far more; these make sure the fixture itself tells the truth.

#include "ReceivedCommands.h"
#include "ScriptedPeer.h"
#include "TableRows.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
	return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray serialBytes(quint16 serial)
{
	QByteArray out;
	for (int shift : {12, 8, 4, 0})
		out.append(char((serial >> shift) & 0x0F));
	return out;
}

// The serial number a reply echoes, from the low nibbles of header bytes 4..7.
quint16 serialOf(const QByteArray &reply)
{
	quint16 serial = 0;
	for (int i = 4; i < 8 && i < reply.size(); ++i)
		serial = quint16(serial << 4 | (uint8_t(reply[i]) & 0x0F));
	return serial;
}

QByteArray datagram(int type, const QByteArray &payload, quint16 serial)
{
	return QByteArray(1, char(0x01)) + char(type) + char(0x00) + char(payload.size()) + serialBytes(serial) +
	       payload;
}

// True when nothing arrives before the answer to a power inquiry sent now. The camera handles datagrams in the order
// they come and answers at once, so a reply to anything sent earlier would have come first.
bool staysQuiet(ScriptedPeer &peer)
{
	const quint16 sentinel = 0x0FED;
	const QList<QByteArray> replies = peer.exchange(datagram(0x10, hex("81 09 04 00 FF"), sentinel), 1);
	return replies.size() == 1 && serialOf(replies.first()) == sentinel;
}

// A peer that talks to the simulator the way a camera link would, but with nothing of the system's encoder.
std::unique_ptr<ScriptedPeer> peerOf(const CameraSimulator &sim)
{
	auto peer = std::make_unique<ScriptedPeer>(QStringLiteral("127.0.0.1"), sim.address(), sim.port());
	return peer->isBound() ? std::move(peer) : nullptr;
}

std::unique_ptr<CameraSimulator> startSim(const QString &model, const char *address = "127.0.0.41")
{
	return startSimulatedCamera(QString::fromLatin1(address), model);
}

// One datagram to a camera of a model, and the payloads of its replies (after their 8-byte header).
struct Exchange {
	const char *name;
	const char *model;
	int type;
	const char *payload;
	QList<const char *> replies;
};
const QList<const char *> kAnswered{"90 41 FF", "90 51 FF"}, kRefused{"90 60 02 FF"};
const Exchange kExchanges[] = {
	{"power inquiry", "NX-B93K", 0x10, "81 09 04 00 FF", {"90 50 02 FF"}},
	{"home", "NX-B93K", 0x00, "81 01 06 04 FF", kAnswered},
	{"address set", "NX-J57", 0x00, "88 30 01 FF", {"88 30 02 FF"}},
	{"address set ignored by ZQ418", "NX-ZQ418", 0x00, "88 30 01 FF", {}},
	{"unknown message", "NX-B93K", 0x00, "81 01 04 77 FF", kRefused},
	{"command framed as inquiry", "NX-B93K", 0x10, "81 01 06 04 FF", kRefused},
	{"direction byte out of range", "NX-B93K", 0x00, "81 01 06 01 0B 0B 04 03 FF", kRefused},
	{"nibble field above 0F", "NX-B93K", 0x00, "81 01 04 4A 00 00 10 02 FF", kRefused},
	{"base preset speed", "NX-B93K", 0x00, "81 01 06 20 10 FF", kAnswered},
	{"D26G rejects base preset speed", "NX-D26G", 0x00, "81 01 06 20 10 FF", kRefused},
	{"D26G preset speed", "NX-HX9", 0x00, "81 01 7E 03 02 10 FF", kAnswered},
	{"ZQ418 preset speed", "NX-ZQ418S", 0x00, "81 01 01 10 FF", kAnswered},
	{"HX7 zoom direct has no speed byte", "NX-HX7", 0x00, "81 01 04 47 01 02 03 04 02 FF", kRefused},
	{"base zoom direct needs speed byte", "NX-J30", 0x00, "81 01 04 47 01 02 03 04 FF", kRefused},
	// FF ends a message wherever it stands, and fields have their ranges: one row per kind of range.
	{"FF inside the payload", "NX-B93K", 0x00, "81 01 06 01 FF 0B 03 01 FF", kRefused},
	{"FF as a whole-byte value", "NX-B93K", 0x00, "81 01 04 4B 00 00 00 FF FF", kRefused},
	{"pan speed above 18", "NX-B93K", 0x00, "81 01 06 01 19 0B 03 01 FF", kRefused},
	{"drive speed 0", "NX-B93K", 0x00, "81 01 06 01 00 0B 03 03 FF", kRefused},
	{"fastest drive", "NX-B93K", 0x00, "81 01 06 01 18 17 03 03 FF", kAnswered},
	{"ZQ418 preset speed above 18", "NX-ZQ418", 0x00, "81 01 01 19 FF", kRefused},
	{"AE mode wider than a nibble", "NX-B93K", 0x00, "81 01 04 39 10 FF", kRefused},
};

// Commands to a camera of a model, then an inquiry and the answer it must get.
struct RoundTrip {
	const char *name;
	const char *model;
	QList<const char *> commands;
	const char *inquiry;
	const char *answer;
};
const RoundTrip kRoundTrips[] = {
	{"saturation N11*16+N13", "NX-B93K", {"81 01 04 49 00 00 00 12 FF"}, "81 09 04 49 FF", "90 50 00 01 00 02 FF"},
	{"D26G saturation 13", "NX-D28G", {"81 01 04 49 00 00 00 12 FF"}, "81 09 04 49 FF", "90 50 00 00 00 12 FF"},
	{"ZQ418 gain whole byte 10", "NX-ZQ418", {"81 01 04 4C 00 00 01 02 FF"}, "81 09 04 0C FF", "90 50 12 FF"},
	{"HX7 sharpness", "NX-HX7", {"81 01 0E 24 40 00 09 FF"}, "81 09 0E 24 40 FF", "90 50 00 00 00 09 FF"},
	{"zoom direct", "NX-B93K", {"81 01 04 47 04 00 00 00 02 FF"}, "81 09 04 47 FF", "90 50 04 00 00 00 FF"},
	{"image mode is not a memory", "NX-B93K", {"81 01 04 3F 04 03 FF"}, "81 09 04 3F 04 FF", "90 50 03 FF"},
	{"preset recall restores zoom and picture",
	 "NX-B93K",
	 {"81 01 04 47 01 00 00 00 02 FF", "81 01 04 4D 00 00 00 09 FF", "81 01 04 3F 01 05 FF",
	  "81 01 04 47 03 00 00 00 02 FF", "81 01 04 4D 00 00 00 02 FF", "81 01 04 3F 02 05 FF"},
	 "81 09 04 47 FF",
	 "90 50 01 00 00 00 FF"},
	// The widths of real cameras: two nibbles for the five picture values, one nibble for modes.
	{"iris two nibbles", "NX-B93K", {"81 01 04 4B 00 00 00 1C FF"}, "81 09 04 4B FF", "90 50 00 00 01 0C FF"},
	{"gain two nibbles", "NX-J57", {"81 01 04 4C 00 00 01 02 FF"}, "81 09 04 4C FF", "90 50 00 00 01 02 FF"},
	{"AE mode one nibble", "NX-B93K", {"81 01 04 39 0D FF"}, "81 09 04 39 FF", "90 50 0D FF"},
};

// An identification inquiry to a camera of a model: the reply's length, and bytes 10.. as expected (empty: an error
// reply is expected).
struct Identification {
	const char *name;
	const char *model;
	const char *inquiry;
	int length;
	QByteArray field;
};
const Identification kIdentifications[] = {
	{"HX7 vendor 02 01", "NX-HX7", "81 09 00 02 FF", 18, hex("02 01")},
	{"J57 model's version reply", "NX-J57", "81 09 00 02 FF", 18, hex("00 20")},
	{"J57 code", "NX-F64K", "81 09 00 02 00 05 FF", 23, "KFB"},
	{"D26G code", "NX-D28G4K", "81 01 02 03 FF", 36, "KDE"},
	{"W38B code", "NX-H20", "81 09 00 02 00 03 FF", 18, "KHB"},
	{"ZQ418 model digits", "NX-ZQ418", "81 09 00 02 FF", 18, hex("00 20 05 43")},
	{"J57 asked the W38B way", "NX-J57", "81 09 00 02 00 03 FF", 12, QByteArray()},
};

} // namespace

class tst_simulator : public QObject {
	Q_OBJECT
private slots:
	void exchange_data() { addTableRows(kExchanges); }
	void exchange()
	{
		const Exchange &row = currentTableRow(kExchanges);
		const QByteArray payload = hex(row.payload);
		QList<QByteArray> replies;
		for (const char *reply : row.replies)
			replies << hex(reply);
		auto sim = startSim(QString::fromLatin1(row.model));
		QVERIFY(sim);
		auto peer = peerOf(*sim);
		QVERIFY(peer);
		const quint16 serial = 0x1A2B;
		if (replies.isEmpty()) {
			peer->exchange(datagram(row.type, payload, serial), 0);
			QVERIFY(staysQuiet(*peer));
			return;
		}
		const QList<QByteArray> got = peer->exchange(datagram(row.type, payload, serial), replies.size());
		QCOMPARE(got.size(), replies.size());
		for (int i = 0; i < got.size(); ++i) {
			QCOMPARE(got[i].mid(4, 4), serialBytes(serial)); // serial echoed
			QCOMPARE(uint8_t(got[i][3]), uint8_t(got[i].size() - 8));
			QCOMPARE(got[i].mid(8).toHex(' '), replies[i].toHex(' '));
		}
	}

	void roundTrip_data() { addTableRows(kRoundTrips); }

	void roundTrip()
	{
		const RoundTrip &row = currentTableRow(kRoundTrips);
		auto sim = startSim(QString::fromLatin1(row.model));
		QVERIFY(sim);
		auto peer = peerOf(*sim);
		QVERIFY(peer);
		quint16 serial = 1;
		for (const char *command : row.commands) {
			const QList<QByteArray> replies = peer->exchange(datagram(0x00, hex(command), serial++), 2);
			QCOMPARE(replies.size(), 2);
			QCOMPARE(replies[1].mid(8).toHex(' '), QByteArray("90 51 ff"));
		}
		const QList<QByteArray> replies = peer->exchange(datagram(0x10, hex(row.inquiry), serial), 1);
		QCOMPARE(replies.size(), 1);
		QCOMPARE(replies[0].mid(8).toHex(' '), hex(row.answer).toHex(' '));
	}

	void identification_data() { addTableRows(kIdentifications); }

	void identification()
	{
		const auto &[name, model, inquiry, length, field] = currentTableRow(kIdentifications);
		auto sim = startSim(QString::fromLatin1(model));
		QVERIFY(sim);
		auto peer = peerOf(*sim);
		QVERIFY(peer);
		const QList<QByteArray> replies = peer->exchange(datagram(0x10, hex(inquiry), 7), 1);
		QCOMPARE(replies.size(), 1);
		const QByteArray reply = replies[0];
		QCOMPARE(reply.size(), length);
		QCOMPARE(uint8_t(reply.back()), uint8_t(0xFF));
		if (field.isEmpty()) {
			QCOMPARE(reply.mid(8).toHex(' '), QByteArray("90 60 02 ff"));
			return;
		}
		QCOMPARE(reply.mid(8, 2).toHex(' '), QByteArray("90 50"));
		QCOMPARE(reply.mid(10, field.size()).toHex(' '), field.toHex(' '));
		// No FF may appear inside a message, or a parser reading up to the terminator would stop early.
		QCOMPARE(reply.mid(8).indexOf(char(0xFF)), reply.size() - 9);
	}

	void faults_data()
	{
		QTest::addColumn<QString>("fault");
		QTest::addColumn<QList<QByteArray>>("replies"); // expected reply payloads for one zoom-direct command
		QTest::addColumn<int>("wrongSerialIndex");      // index of the reply with another serial number, or -1
		QTest::addColumn<bool>("executed");             // whether the camera acted on the command

		const QByteArray ack = hex("90 41 FF"), done = hex("90 51 FF");
		QTest::newRow("none") << "none" << QList<QByteArray>{ack, done} << -1 << true;
		QTest::newRow("drop one reply") << "drop" << QList<QByteArray>{done} << -1 << true;
		QTest::newRow("drop the completion") << "dropCompletion" << QList<QByteArray>{ack} << -1 << true;
		QTest::newRow("wrong serial once") << "wrongSerial" << QList<QByteArray>{ack, done} << 0 << true;
		QTest::newRow("error reply") << "error" << QList<QByteArray>{hex("90 61 41 FF")} << -1 << false;
		QTest::newRow("silent") << "silent" << QList<QByteArray>{} << -1 << false;
	}

	void faults()
	{
		QFETCH(QString, fault);
		QFETCH(QList<QByteArray>, replies);
		QFETCH(int, wrongSerialIndex);
		QFETCH(bool, executed);

		auto sim = startSim(QStringLiteral("NX-B93K"));
		QVERIFY(sim);
		// The zoom completes at once, so that a reply still to come cannot hide behind the quiet check.
		sim->setMoveMsPerUnit(0);
		if (fault == QLatin1String("drop"))
			sim->dropNextReplies(1);
		else if (fault == QLatin1String("dropCompletion"))
			sim->dropNextCompletions(1);
		else if (fault == QLatin1String("wrongSerial"))
			sim->wrongSerialNextReplies(1);
		else if (fault == QLatin1String("error"))
			sim->errorNextRequest(0x41);
		else if (fault == QLatin1String("silent"))
			sim->setSilent(true);

		auto peer = peerOf(*sim);
		QVERIFY(peer);
		const quint16 serial = 0x00AB;
		const QList<QByteArray> got =
			peer->exchange(datagram(0x00, hex("81 01 04 47 02 00 00 00 02 FF"), serial), replies.size());
		QCOMPARE(got.size(), replies.size());
		for (int i = 0; i < got.size(); ++i) {
			QCOMPARE(got[i].mid(8).toHex(' '), replies[i].toHex(' '));
			if (i == wrongSerialIndex)
				QVERIFY(got[i].mid(4, 4) != serialBytes(serial));
			else
				QCOMPARE(got[i].mid(4, 4), serialBytes(serial));
		}
		QVERIFY(sim->waitForReceived(1, 3000)); // even a silent camera records what arrived
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(sim->state().picture.zoom, executed ? 0x2000 : 0);

		// Every fault but the switches is used up: a dropped or suppressed reply really is gone, and the next
		// command is answered normally.
		sim->setSilent(false);
		if (replies.size() < 2)
			QVERIFY(staysQuiet(*peer));
		const QList<QByteArray> next = peer->exchange(datagram(0x00, hex("81 01 06 04 FF"), serial + 1), 2);
		QCOMPARE(next.size(), 2);
		QCOMPARE(next[0].mid(4, 4), serialBytes(serial + 1));
		QCOMPARE(next[1].mid(8).toHex(' '), QByteArray("90 51 ff"));
	}

	void brokenHeadersAreIgnored_data()
	{
		QTest::addColumn<QByteArray>("datagram");

		const QByteArray home = datagram(0x00, hex("81 01 06 04 FF"), 0x0102);
		QTest::newRow("length field too long") << QByteArray(home).replace(3, 1, QByteArray(1, char(0x06)));
		QTest::newRow("serial byte not a nibble") << QByteArray(home).replace(6, 1, QByteArray(1, char(0x10)));
		QTest::newRow("header cut short") << home.left(6);
	}

	void brokenHeadersAreIgnored()
	{
		QFETCH(QByteArray, datagram);

		auto sim = startSim(QStringLiteral("NX-B93K"));
		QVERIFY(sim);
		auto peer = peerOf(*sim);
		QVERIFY(peer);
		peer->exchange(datagram, 0);
		QVERIFY(sim->waitForReceived(1, 3000));
		QVERIFY(staysQuiet(*peer));
		QCOMPARE(sim->state().homeCount, 0);
	}

	void movesCompleteAfterTheirDistance()
	{
		// A long zoom, then a short focus move and an instant command while the zoom still travels: each is
		// acknowledged at once on a free socket, the short move completes first, the long one last.
		auto started = startSim(QStringLiteral("NX-B93K"), "127.0.0.43");
		QVERIFY(started);
		CameraSimulator &sim = *started;
		sim.setMoveMsPerUnit(30); // the zoom's 64 units take about 2 s, the focus's 32 units half that
		auto peer = peerOf(sim);
		QVERIFY(peer);

		const QByteArray zoom = datagram(0x00, hex("81 01 04 47 04 00 00 00 02 FF"), 1);
		const QByteArray focus = datagram(0x00, hex("81 01 04 48 03 00 00 00 FF"), 2);
		const QByteArray home = datagram(0x00, hex("81 01 06 04 FF"), 3);
		QList<QByteArray> got = peer->exchange(zoom, 1);
		got += peer->exchange(focus, 1);
		// Both sockets hold a move: a third command is refused and not carried out.
		got += peer->exchange(home, 1);
		QCOMPARE(sim.state().homeCount, 0);
		got += peer->receive(2, 5000);

		QStringList replies;
		for (const QByteArray &reply : got)
			replies << QString::number(serialOf(reply)) + QLatin1Char(':') +
					   QString::fromLatin1(reply.mid(8).toHex(' '));
		QCOMPARE(replies,
			 (QStringList{"1:90 41 ff", "2:90 42 ff", "3:90 60 03 ff", "2:90 52 ff", "1:90 51 ff"}));

		// With the sockets free again, an instant command completes at once on the first socket.
		const QList<QByteArray> next = peer->exchange(datagram(0x00, hex("81 01 06 04 FF"), 4), 2);
		QCOMPARE(next.size(), 2);
		QCOMPARE(next.at(1).mid(8).toHex(' '), QByteArray("90 51 ff"));
		QCOMPARE(sim.state().homeCount, 1);
	}

	void staleDatagramAndObservation()
	{
		auto sim = startSim(QStringLiteral("NX-W38B"), "127.0.0.42");
		QVERIFY(sim);
		auto peer = peerOf(*sim);
		QVERIFY(peer);
		sim->setAnswersAddressSet(false);
		const QByteArray probe = datagram(0x00, hex("88 30 01 FF"), 3);
		peer->exchange(probe, 0);
		QVERIFY(staysQuiet(*peer));
		QCOMPARE(sim->received().constFirst(), probe);
		QCOMPARE(sim->lastPeerPort(), peer->port());
		QCOMPARE(sim->lastPeerAddress(), QHostAddress(QStringLiteral("127.0.0.1")));

		// A drive message leaves direction and speeds in the state.
		QCOMPARE(peer->exchange(datagram(0x00, hex("81 01 06 01 05 07 02 01 FF"), 4), 2).size(), 2);
		const SimCameraState state = sim->state();
		QCOMPARE(state.motion, SimCameraState::Motion::UpRight);
		QCOMPARE(state.panSpeed, 5);
		QCOMPARE(state.tiltSpeed, 7);

		// Cleared, the record and the count that waits read start again; every datagram sent so far was
		// answered.
		sim->clearReceived();
		QVERIFY(sim->received().isEmpty() && !sim->waitForReceived(1, 0));
		sim->sendStaleDatagram(QHostAddress(QStringLiteral("127.0.0.1")), peer->port(), 0x1234);
		const QList<QByteArray> stale = peer->receive(1);
		QCOMPARE(stale.size(), 1);
		QCOMPARE(stale[0].toHex(' '), QByteArray("01 11 00 03 01 02 03 04 90 51 ff"));
	}

	void refusesNonLoopback()
	{
		CameraSimulator::Options options;
		options.address = QHostAddress(QStringLiteral("10.0.0.1"));
		options.port = 0;
		CameraSimulator sim(options);
		QString error;
		QVERIFY(!sim.start(&error));
		QVERIFY(error.contains(QLatin1String("127.0.0.0/8")));
	}
};

QTEST_GUILESS_MAIN(tst_simulator)
#include "tst_simulator.moc"
