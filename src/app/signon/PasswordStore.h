#pragma once

// The user's keyring, read and written synchronously. Reads never report an error: a
// failure reads as the empty string, and stored bytes that are not UTF-8 as no string.

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <functional>
#include <optional>
#include <utility>

class PasswordStore {
public:
    virtual ~PasswordStore() = default;

    // The password of (service, account): "" when there is none or the read failed,
    // nullopt when the stored bytes are not UTF-8.
    virtual std::optional<QString> read(const QString& service, const QString& account) = 0;
    // Adds or replaces the item; false when the keyring refused.
    virtual bool write(const QString& service, const QString& account, const QString& password) = 0;
    // Adds or replaces the item without waiting for the keyring: a failure is logged, not
    // reported. Reads and writes made after it see it. By default the same as write.
    virtual void writeWithoutWaiting(const QString& service, const QString& account, const QString& password) {
        write(service, account, password);
    }
    // Deletes the item; true also when there was none.
    virtual bool remove(const QString& service, const QString& account) = 0;
    // Starts reading the item without waiting for it, where the store can: the next read
    // of the item takes that answer. Nothing by default.
    virtual void prefetch(const QString&, const QString&) {}
    // Whether a read started by prefetch is still waiting for the keyring's answer (and
    // not yet past the store's time-out), so that a caller can wait for it without
    // blocking. False by default.
    virtual bool prefetchPending(const QString&, const QString&) { return false; }
    // Runs `then` on the calling thread's loop once a read started by prefetch has its
    // answer or is past the store's time-out; at once when none is under way.
    virtual void whenPrefetchAnswered(const QString&, const QString&, std::function<void()> then) { then(); }

    // The application's keyring (the Secret Service through QtKeychain).
    static PasswordStore& system();
};

// The Secret Service through QtKeychain. Each call waits at most `timeout` for the
// keyring on a thread of its own, so no event of the caller's loop runs meanwhile (no
// web-service callback can arrive inside a read).
class KeychainPasswordStore : public PasswordStore {
public:
    explicit KeychainPasswordStore(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::optional<QString> read(const QString& service, const QString& account) override;
    bool write(const QString& service, const QString& account, const QString& password) override;
    bool remove(const QString& service, const QString& account) override;
    void writeWithoutWaiting(const QString& service, const QString& account, const QString& password) override;
    // The read runs on the keyring's thread meanwhile; a write or remove of the item
    // drops it.
    void prefetch(const QString& service, const QString& account) override;
    bool prefetchPending(const QString& service, const QString& account) override;
    void whenPrefetchAnswered(const QString& service, const QString& account, std::function<void()> then) override;

private:
    void dropPrefetch(const QString& service, const QString& account);
    std::chrono::milliseconds timeout_;
    std::mutex prefetchMutex_;
    QHash<std::pair<QString, QString>, std::shared_ptr<void>> prefetched_;
};

// In memory, for tests and for machines without a keyring. Items hold raw bytes, so a
// test can store bytes that are not UTF-8.
class MemoryPasswordStore : public PasswordStore {
public:
    std::optional<QString> read(const QString& service, const QString& account) override;
    bool write(const QString& service, const QString& account, const QString& password) override;
    bool remove(const QString& service, const QString& account) override;

    void setRaw(const QString& service, const QString& account, const QByteArray& bytes);
    bool contains(const QString& service, const QString& account) const;
    // Every read fails (reads as "") while set; writes and removes are refused.
    bool failing = false;
    int reads = 0;

private:
    QHash<std::pair<QString, QString>, QByteArray> items_;
};

// The keyring item of one screen name's password: service = the keychain service name,
// account = the canonical screen name.
namespace KeychainUtils {

// The name without white space, lower-cased.
QString canonicalScreenName(const QString& screenName);
// "" for an empty name; nullopt for stored bytes that are not UTF-8.
std::optional<QString> passwordForScreenName(PasswordStore& store, const QString& screenName, const QString& service);
// A non-empty password adds or replaces the item; an empty one deletes it.
void savePasswordToKeychain(PasswordStore& store, const QString& password, const QString& screenName,
                            const QString& service);

}  // namespace KeychainUtils
