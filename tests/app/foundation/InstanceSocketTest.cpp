// Where the single-instance socket lives, and that another user's socket is told apart.

#include "app/foundation/ZYMInstanceSocket.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Sets (or with nullopt unsets) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

unsigned ModeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

void Chmod(const QString& path, mode_t mode) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0); }

int Listen(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

int Connect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TEST(InstanceSocketTest, LivesInAFolderOnlyThisUserMayEnter) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString runtime = tmp.filePath("runtime");
    const QString scratch = tmp.filePath("tmp");
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_TRUE(QDir().mkpath(scratch));
    Chmod(runtime, 0700);
    Chmod(scratch, 01777);  // a shared temporary folder, as /tmp is
    ScopedEnv tmpdir("TMPDIR", scratch.toStdString());
    const QString fallbackFolder = scratch + "/zymradio-" + QString::number(geteuid());
    const QString fallback = fallbackFolder + "/instance.socket";

    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.toStdString());
        EXPECT_EQ(ZYMInstanceSocket::path(), runtime + "/zymradio.socket");
    }
    // A runtime folder others may write is not used, nor a relative one, nor none.
    Chmod(runtime, 0777);
    for (std::optional<std::string> value :
         {std::optional<std::string>(runtime.toStdString()), std::optional<std::string>("relative/run"),
          std::optional<std::string>()}) {
        SCOPED_TRACE(value.value_or("(unset)"));
        ScopedEnv xdg("XDG_RUNTIME_DIR", value);
        EXPECT_EQ(ZYMInstanceSocket::path(), fallback);
        EXPECT_EQ(ModeOf(fallbackFolder), 0700u);
    }
    // The name does not depend on $USER: unset, it is still the one per-user name (it
    // used to fall back to the process id, so that every start was "the first").
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
        ScopedEnv user("USER", std::nullopt);
        EXPECT_EQ(ZYMInstanceSocket::path(), fallback);
        ScopedEnv other("USER", "someone-else");
        EXPECT_EQ(ZYMInstanceSocket::path(), fallback);
    }
    // A fallback folder someone opened up (or planted) is refused, not trusted.
    Chmod(fallbackFolder, 0777);
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(ZYMInstanceSocket::path(), QString());
    }
    ASSERT_TRUE(QDir(fallbackFolder).removeRecursively());
    ASSERT_TRUE(QFile::link(runtime, fallbackFolder));
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(ZYMInstanceSocket::path(), QString()) << "a link is not a folder of ours";
    }
}

TEST(InstanceSocketTest, AnotherUsersListenerIsNotACopyOfOurs) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    Chmod(tmp.path(), 01777);
    const std::string own = tmp.filePath("own").toStdString();
    const std::string squatted = tmp.filePath("squatted").toStdString();

    const int listener = Listen(own);
    ASSERT_GE(listener, 0);
    const int client = Connect(own);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(ZYMInstanceSocket::peerIsThisUser(client));
    close(client);
    close(listener);
    EXPECT_FALSE(ZYMInstanceSocket::peerIsThisUser(-1));

    if (geteuid() != 0) GTEST_SKIP() << "another user's listener needs root to set up";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        const int fd = Listen(squatted);
        const char c = fd >= 0 ? 'y' : 'n';
        if (write(ready[1], &c, 1) != 1) _exit(4);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    ASSERT_EQ(c, 'y');
    const int foreign = Connect(squatted);
    EXPECT_GE(foreign, 0);
    EXPECT_FALSE(ZYMInstanceSocket::peerIsThisUser(foreign));
    if (foreign >= 0) close(foreign);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}
