// The keyring over the Secret Service. The real daemon runs only under the keyring
// fixture (ctest -R appsignon_keyring, which sets ZYM_REAL_KEYRING=1); elsewhere those
// tests skip.

#include <gtest/gtest.h>

#include <chrono>

#include <QCoreApplication>
#include <QTimer>

#include "app/signon/PasswordStore.h"
#include "platform/RunLoop.h"
#include "support/Env.h"

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

bool RealKeyring() { return qgetenv("ZYM_REAL_KEYRING") == "1"; }

TEST(RealKeyring, WriteReadBySecondStoreOverwriteDeleteMissing) {
    if (!RealKeyring()) GTEST_SKIP() << "needs the keyring fixture (ctest -R appsignon_keyring)";
    const QString service = QStringLiteral("ZYM Radio keyring test %1").arg(getpid());
    KeychainPasswordStore writer(zymtest::Scaled(10000ms));
    KeychainPasswordStore reader(zymtest::Scaled(10000ms));
    EXPECT_EQ(reader.read(service, QStringLiteral("janedoe")), QString());
    ASSERT_TRUE(writer.write(service, QStringLiteral("janedoe"), QStringLiteral("pw-\u00e9t\u00e9")));
    EXPECT_EQ(reader.read(service, QStringLiteral("janedoe")), QStringLiteral("pw-\u00e9t\u00e9"));
    ASSERT_TRUE(writer.write(service, QStringLiteral("janedoe"), QStringLiteral("second")));
    EXPECT_EQ(reader.read(service, QStringLiteral("janedoe")), QStringLiteral("second"));
    // Accounts are apart.
    EXPECT_EQ(reader.read(service, QStringLiteral("johndoe")), QString());
    EXPECT_TRUE(writer.remove(service, QStringLiteral("janedoe")));
    EXPECT_EQ(reader.read(service, QStringLiteral("janedoe")), QString());
    EXPECT_TRUE(writer.remove(service, QStringLiteral("janedoe")));
}

// A read started early is the next read's answer, unless the item changed meanwhile.
TEST(RealKeyring, APrefetchedReadIsTheNextReadsAnswerUntilTheItemChanges) {
    if (!RealKeyring()) GTEST_SKIP() << "needs the keyring fixture (ctest -R appsignon_keyring)";
    const QString service = QStringLiteral("ZYM Radio prefetch test %1").arg(getpid());
    const QString account = QStringLiteral("janedoe");
    KeychainPasswordStore store(zymtest::Scaled(10000ms));
    ASSERT_TRUE(store.write(service, account, QStringLiteral("first")));
    EXPECT_FALSE(store.prefetchPending(service, account));
    store.prefetch(service, account);
    // The answer can be waited for without blocking, and is then the read's at once.
    bool answered = false;
    store.whenPrefetchAnswered(service, account, [&] { answered = true; });
    ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return answered; }, zymtest::Scaled(15000ms)));
    EXPECT_FALSE(store.prefetchPending(service, account));
    EXPECT_EQ(store.read(service, account), QStringLiteral("first"));
    store.prefetch(service, account);
    ASSERT_TRUE(store.write(service, account, QStringLiteral("second")));
    EXPECT_EQ(store.read(service, account), QStringLiteral("second"));
    store.prefetch(service, account);
    // A write that does not wait is still the answer of every later read.
    store.writeWithoutWaiting(service, account, QStringLiteral("third"));
    EXPECT_EQ(store.read(service, account), QStringLiteral("third"));
    store.writeWithoutWaiting(service, account, QStringLiteral("fourth"));
    KeychainPasswordStore other(zymtest::Scaled(10000ms));
    EXPECT_EQ(other.read(service, account), QStringLiteral("fourth"));
    store.prefetch(service, account);
    EXPECT_TRUE(store.remove(service, account));
    EXPECT_EQ(store.read(service, account), QString());
}

// A read waits on a thread of its own: nothing queued on the caller's loop runs inside
// it, keyring or not.
TEST(Keyring, ReadRunsNoEventOfTheCallersLoop) {
    KeychainPasswordStore store(zymtest::Scaled(3000ms));
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { fired = true; }, Qt::QueuedConnection);
    const std::optional<QString> read = store.read(QStringLiteral("ZYM Radio keyring test"), QStringLiteral("nobody"));
    EXPECT_EQ(read, QString());
    EXPECT_FALSE(fired);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired);
}

}  // namespace
