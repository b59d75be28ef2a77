#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// Root writes whatever the permissions say, and CI runs the tests as root: to meet a read-only file or folder as
// an operator's OBS does, the test works as an ordinary user while one of these is alive.
class OrdinaryUser {
public:
	static constexpr uid_t kNobody = 65534;

	// `home` becomes the ordinary user's, so it may create what the test needs below it.
	explicit OrdinaryUser(const QString &home)
	{
		if (geteuid() != 0)
			return;
		const QByteArray path = QFile::encodeName(home);
		switched = chown(path.constData(), kNobody, kNobody) == 0 && setresgid(kNobody, kNobody, 0) == 0 &&
			   setresuid(kNobody, kNobody, 0) == 0;
	}
	~OrdinaryUser()
	{
		if (!switched)
			return;
		// The saved IDs stayed root's, which is what allows going back.
		if (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0)
			qFatal("could not return to root");
	}
	bool isOrdinary() const { return geteuid() != 0; }

private:
	bool switched = false;
};
