#include "settings/ConfinedFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file descriptor closed with its scope.
class Descriptor {
public:
	explicit Descriptor(int fd = -1) : fd(fd) {}
	~Descriptor()
	{
		if (fd >= 0)
			::close(fd);
	}
	Descriptor(const Descriptor &) = delete;
	Descriptor &operator=(const Descriptor &) = delete;
	int get() const { return fd; }
	bool valid() const { return fd >= 0; }

private:
	int fd;
};

QString systemError(int error)
{
	return QString::fromLocal8Bit(std::strerror(error));
}

// The folder itself, not what a link in its place names. Empty when opened, else what is wrong with the folder;
// `error` is errno.
QString openFolder(const QString &folder, int &fd, int &error)
{
	const QByteArray path = QFile::encodeName(folder);
	fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
	error = fd >= 0 ? 0 : errno;
	if (fd >= 0)
		return QString();
	struct stat info{};
	// A link in the folder's place fails as no folder (O_DIRECTORY) or as a link (O_NOFOLLOW).
	if ((error == ELOOP || error == ENOTDIR) && ::lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode))
		return QStringLiteral("is a symbolic link");
	if (error == ENOTDIR)
		return QStringLiteral("is not a folder");
	return QStringLiteral("cannot be opened (%1)").arg(systemError(error));
}

QString openProblem(int error)
{
	// O_NOFOLLOW refuses a link with ELOOP.
	if (error == ELOOP)
		return QStringLiteral("is a symbolic link");
	if (error == ENOENT)
		return QStringLiteral("does not exist");
	return QStringLiteral("cannot be opened (%1)").arg(systemError(error));
}

bool writeAll(int fd, const QByteArray &bytes)
{
	qint64 done = 0;
	while (done < bytes.size()) {
		const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
		if (written < 0 && errno == EINTR)
			continue;
		if (written <= 0)
			return false;
		done += written;
	}
	return true;
}

// A name no other writer uses: the file's own, hidden, with random letters.
QString temporaryName(const QString &name)
{
	static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
	QString suffix;
	for (int i = 0; i < 8; ++i)
		suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))]);
	return QLatin1Char('.') + name + QLatin1Char('.') + suffix;
}

} // namespace

ConfinedFile::Content ConfinedFile::read(const QString &folder, const QString &name, qint64 cap)
{
	Content content;
	int folderFd = -1;
	int error = 0;
	content.problem = openFolder(folder, folderFd, error);
	const Descriptor folderDescriptor(folderFd);
	if (!folderDescriptor.valid()) {
		content.missing = error == ENOENT;
		content.folderProblem = true;
		return content;
	}
	// Non-blocking: a pipe put in the file's place would otherwise hold the open until someone writes to it.
	const Descriptor file(::openat(folderFd, QFile::encodeName(name).constData(),
				       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
	if (!file.valid()) {
		error = errno;
		content.missing = error == ENOENT;
		content.problem = openProblem(error);
		return content;
	}
	struct stat info{};
	if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
		content.problem = QStringLiteral("is not a regular file");
		return content;
	}
	content.size = info.st_size;
	content.bytes.resize(int(std::max<qint64>(0, std::min<qint64>(cap, info.st_size))));
	qint64 done = 0;
	while (done < content.bytes.size()) {
		const ssize_t got =
			::read(file.get(), content.bytes.data() + done, size_t(content.bytes.size() - done));
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0) {
			content.problem = QStringLiteral("cannot be read (%1)").arg(systemError(errno));
			content.bytes.clear();
			return content;
		}
		if (got == 0)
			break;
		done += got;
	}
	// A file that shrank meanwhile is what it now is.
	content.bytes.truncate(int(done));
	return content;
}

QString ConfinedFile::write(const QString &folder, const QString &name, const QByteArray &bytes)
{
	if (!QDir().mkpath(folder))
		return QStringLiteral("the folder %1 cannot be made").arg(folder);
	int folderFd = -1;
	int error = 0;
	const QString problem = openFolder(folder, folderFd, error);
	const Descriptor folderDescriptor(folderFd);
	if (!folderDescriptor.valid())
		return QStringLiteral("the folder %1 %2").arg(folder, problem);

	QByteArray temporary;
	int fd = -1;
	for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
		temporary = QFile::encodeName(temporaryName(name));
		fd = ::openat(folderFd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
			      0644);
		if (fd < 0 && errno != EEXIST)
			break;
	}
	if (fd < 0)
		return QStringLiteral("no file can be made in %1 (%2)").arg(folder, systemError(errno));
	const Descriptor file(fd);
	// The new content is on disk before it takes the old one's place, so a crash leaves one or the other.
	if (!writeAll(fd, bytes) || ::fdatasync(fd) != 0) {
		const QString why = systemError(errno);
		::unlinkat(folderFd, temporary.constData(), 0);
		return QStringLiteral("it could not be written (%1)").arg(why);
	}
	// A rename replaces whatever has the name, a link included, and never writes through it.
	if (::renameat(folderFd, temporary.constData(), folderFd, QFile::encodeName(name).constData()) != 0) {
		const QString why = systemError(errno);
		::unlinkat(folderFd, temporary.constData(), 0);
		return QStringLiteral("it could not be put in place (%1)").arg(why);
	}
	return QString();
}

QString ConfinedFile::remove(const QString &folder, const QString &name)
{
	int folderFd = -1;
	int error = 0;
	const QString problem = openFolder(folder, folderFd, error);
	const Descriptor folderDescriptor(folderFd);
	if (!folderDescriptor.valid())
		return error == ENOENT ? QString() : problem;
	if (::unlinkat(folderFd, QFile::encodeName(name).constData(), 0) != 0 && errno != ENOENT)
		return systemError(errno);
	return QString();
}
