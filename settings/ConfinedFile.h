#pragma once

#include <QByteArray>
#include <QString>

// A file of ours in a folder of ours (a preset's picture, the gamepad mappings), read and written so that what
// someone else put there cannot turn it against the product: no symbolic link is followed, neither the file nor the
// folder (a link to a secret is not read, a write through a link lands nowhere else), only regular files are read
// (a pipe or a device would never end), and never more than the caller's cap (a huge file would hold its reader and
// its memory). Writes go to a temporary file in the same folder, renamed over the old one: a crash leaves the old
// file or the new, and a link in the file's place is replaced, not followed. Safe on any thread.
namespace ConfinedFile {

struct Content {
	QByteArray bytes; // at most the cap
	qint64 size = 0;  // the file's size on disk
	QString problem;  // empty when the file was read, else why not ("is a symbolic link", "does not exist")
	bool folderProblem = false; // the problem is the folder's
	bool missing = false;
	bool complete() const { return problem.isEmpty() && bytes.size() == size; }
};

// The first `cap` bytes of the regular file `name` in `folder`.
Content read(const QString &folder, const QString &name, qint64 cap);
// Replaces `name` in `folder` (made if missing) with `bytes`. Empty when written, else why not.
QString write(const QString &folder, const QString &name, const QByteArray &bytes);
// Removes `name` from `folder`, a link itself rather than what it names. Empty when gone, else why it stays.
QString remove(const QString &folder, const QString &name);

} // namespace ConfinedFile
