#pragma once
// File-system helpers of the application layers (POSIX underneath).

#include <QString>

namespace ZYMFileManager {

// Whether `path` exists; `isDirectory` (may be null) tells whether it is a folder. With
// `followLinks`, a symbolic link to a folder counts as a folder.
bool fileExistsAtPath(const QString& path, bool* isDirectory, bool followLinks);

// True when `path` is, or has now been made, a folder this process may write to. Missing
// folders are made below the deepest existing ancestor, open to their owner only (mode
// 0700: they hold the listener's account, history and log), with the ancestor's owner
// where the process may give it; nothing is made when that ancestor is not a writable
// folder, or when the path has a single component. Existing folders keep their mode.
bool ensureDirectoriesInPath(const QString& path);

// The program's files are its user's alone: 0600 for a file. False when it cannot be set.
bool makeFilePrivate(const QString& path);
// The same for an open file.
bool makeFilePrivate(int fd);

}  // namespace ZYMFileManager
