// The module's entry points and locale table, exercised the way the host uses them: the built module is opened
// by the real libobs, which hands it its handle and locale.
// Qt's umbrella header before OBS's: from OBS 30 on, obs.h maps the SSE intrinsics onto SIMDe's by macros, which
// breaks the compiler's own intrinsics headers when Qt includes them afterwards.
#include <QtTest>

#include <obs-module.h>
#include <obs.h>
#include <util/platform.h>

namespace {

using TextFn = const char *(*)(const char *);
using GetStringFn = bool (*)(const char *, const char **);
using SetLocaleFn = void (*)(const char *);
using VersionFn = uint32_t (*)();

} // namespace

class tst_moduleLocale : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void cleanupTestCase();
	void exportsTheHostInterface();
	void looksUpTexts_data();
	void looksUpTexts();

private:
	template <typename Fn>
	Fn symbol(const char *name)
	{
		return reinterpret_cast<Fn>(os_dlsym(obs_get_module_lib(module), name));
	}

	obs_module_t *module = nullptr;
};

void tst_moduleLocale::initTestCase()
{
	QVERIFY(obs_startup("en-US", nullptr, nullptr));
	const int result = obs_open_module(&module, KAVREN_MODULE_FILE, KAVREN_SOURCE_DIR "/data");
	QCOMPARE(result, MODULE_SUCCESS);
	QVERIFY(module);
}

void tst_moduleLocale::cleanupTestCase()
{
	obs_shutdown();
}

void tst_moduleLocale::exportsTheHostInterface()
{
	for (const char *name : {"obs_module_set_pointer", "obs_current_module", "obs_module_ver", "obs_module_load",
				 "obs_module_unload", "obs_module_set_locale", "obs_module_free_locale",
				 "obs_module_get_string", "obs_module_text", "obs_module_lookup"})
		QVERIFY2(os_dlsym(obs_get_module_lib(module), name), name);

	// Built against the installed headers: the module reports exactly their API version.
	QCOMPARE(symbol<VersionFn>("obs_module_ver")(), uint32_t(LIBOBS_API_VER));
	QCOMPARE(symbol<obs_module_t *(*)()>("obs_current_module")(), module);
}

void tst_moduleLocale::looksUpTexts_data()
{
	QTest::addColumn<QByteArray>("key");
	QTest::addColumn<QString>("expected");
	QTest::addColumn<bool>("found");

	// The host's locale files cannot hold a key with spaces: the action's text is its key itself.
	QTest::newRow("tools menu action") << QByteArray("Kavren OBS Camera Controller")
					   << QStringLiteral("Kavren OBS Camera Controller") << false;
	QTest::newRow("slot caption") << QByteArray("Camera5") << QStringLiteral("Camera 5") << true;
	QTest::newRow("warning")
		<< QByteArray("FailedToConnectToCamera")
		<< QStringLiteral("The camera could not be reached. Check its address, its power and the network.")
		<< true;
}

void tst_moduleLocale::looksUpTexts()
{
	QFETCH(QByteArray, key);
	QFETCH(QString, expected);
	QFETCH(bool, found);

	symbol<SetLocaleFn>("obs_module_set_locale")("en-US");
	QCOMPARE(QString::fromUtf8(symbol<TextFn>("obs_module_text")(key.constData())), expected);

	const char *out = nullptr;
	QCOMPARE(symbol<GetStringFn>("obs_module_get_string")(key.constData(), &out), found);
	if (found)
		QCOMPARE(QString::fromUtf8(out), expected);
}

QTEST_GUILESS_MAIN(tst_moduleLocale)
#include "tst_moduleLocale.moc"
