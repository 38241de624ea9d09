#pragma once
// File-system helpers of the application layers (POSIX underneath).

#include <QString>

namespace ZYMFileManager {

// Whether `path` exists; `isDirectory` (may be null) tells whether it is a folder. With
// `followLinks`, a symbolic link to a folder counts as a folder.
bool fileExistsAtPath(const QString& path, bool* isDirectory, bool followLinks);

// True when `path` is, or has now been made, a folder this process may write to. Missing
// folders are made below the deepest existing ancestor, with its permissions but never
// writable by others nor sticky (and its owner, where the process may give it); nothing
// is made when that ancestor is not a writable folder, or when the path has a single
// component.
bool ensureDirectoriesInPath(const QString& path);

}  // namespace ZYMFileManager
