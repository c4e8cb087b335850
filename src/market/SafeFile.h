#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Writing the user's files so that nothing is ever lost half-way: the whole
// content goes to a temporary copy that replaces the file in one rename, and
// a file or folder marked read-only is refused even for a user (root) whom
// the system would let through.
namespace SafeFile {

// Replaces path with bytes atomically, then flushes the folder. False with a
// reason when nothing was replaced; the old file is then as it was. Given
// permissions are set before a byte is written (a secret never sits in a
// file others may read).
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                     QFileDevice::Permissions permissions = {});

// Flushes the folder's entries to disk, so that a replaced file survives a
// power loss as wholly old or wholly new.
bool syncDirectory(const QString &directory);

// A write replaces the file with a temporary copy named "<file>.XXXXXX" (six
// letters); a program killed in between leaves that copy behind. Removes such
// copies of path once they are a minute old (a younger one may be another
// process's write in progress); symbolic links, folders and every other file
// are left alone. Returns how many were removed.
int removeStaleCopies(const QString &path);

} // namespace SafeFile
