#pragma once
// Where the program's single-instance socket lives, and whose socket it is.
//
// The socket sits in a folder only this user can enter: $XDG_RUNTIME_DIR when it is one
// (a folder of this user's, closed to everyone else), else a folder named after the user
// id under the temporary folder, made 0700 and checked to be this user's own. A name in
// a shared folder (such as /tmp/zymradio-$USER) can be taken by any local user first.

#include <QString>

namespace ZYMInstanceSocket {

// The socket's path; empty when no private folder can be had (the program then runs
// without a single-instance guard rather than trust a folder others can write).
QString path();

// Whether `folder` is a real folder (not a link) of this user's that nobody else may
// enter or write.
bool isPrivateFolder(const QString& folder);

// Whether the process at the other end of the connected local socket `fd` runs as this
// user. A socket someone else listens on is not another copy of ours.
bool peerIsThisUser(int fd);

}  // namespace ZYMInstanceSocket
