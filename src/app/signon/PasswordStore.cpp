#include "app/signon/PasswordStore.h"

#include "app/foundation/NSLog.h"

#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace {

struct Outcome {
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QByteArray data;
};

// The keyring's jobs run on one thread of their own with its own event loop (the
// Secret Service library keeps state bound to the thread that first used it); the
// caller waits for the answer there, at most `timeout`, so its own loop runs nothing
// meanwhile. Made on first use and never stopped.
class KeyringThread {
public:
    static KeyringThread& instance() {
        static auto* keyring = new KeyringThread;
        return *keyring;
    }

    // A job under way; its outcome is filled on the keyring's thread.
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        Outcome outcome;
        std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
        // Run on the keyring's thread once the outcome is in.
        std::vector<std::function<void()>> waiters;
    };

    // `then`, when given, runs on the keyring's thread with the outcome.
    std::shared_ptr<Pending> start(std::function<QKeychain::Job*()> make,
                                   std::function<void(const Outcome&)> then = {}) {
        auto state = std::make_shared<Pending>();
        QMetaObject::invokeMethod(
            context_,
            [state, make = std::move(make), then = std::move(then)] {
                QKeychain::Job* job = make();
                job->setAutoDelete(true);
                QObject::connect(job, &QKeychain::Job::finished, job, [state, then](QKeychain::Job* finished) {
                    Outcome outcome;
                    std::vector<std::function<void()>> waiters;
                    {
                        std::lock_guard<std::mutex> lock(state->mutex);
                        state->outcome.finished = true;
                        state->outcome.error = finished->error();
                        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                            state->outcome.data = read->binaryData();
                        state->done.notify_all();
                        outcome = state->outcome;
                        waiters.swap(state->waiters);
                    }
                    if (then) then(outcome);
                    for (const auto& waiter : waiters)
                        waiter();
                });
                job->start();
            },
            Qt::QueuedConnection);
        return state;
    }

    // The time-out counts from the job's start: a prefetch waited for elsewhere first
    // does not get a second full wait.
    static Outcome wait(Pending& state, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(state.mutex);
        state.done.wait_until(lock, state.started + timeout, [&] { return state.outcome.finished; });
        return state.outcome;
    }

    static bool answered(Pending& state, std::chrono::milliseconds timeout) {
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.outcome.finished || std::chrono::steady_clock::now() >= state.started + timeout;
    }

    // `waiter` on the keyring's thread once the outcome is in; at once, on the caller's,
    // when it is in already.
    static void whenFinished(Pending& state, std::function<void()> waiter) {
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (!state.outcome.finished) {
                state.waiters.push_back(std::move(waiter));
                return;
            }
        }
        waiter();
    }

    Outcome run(std::function<QKeychain::Job*()> make, std::chrono::milliseconds timeout) {
        return wait(*start(std::move(make)), timeout);
    }

private:
    KeyringThread() {
        thread_.setObjectName(QStringLiteral("keyring"));
        context_ = new QObject;
        context_->moveToThread(&thread_);
        thread_.start();
    }
    QThread thread_;
    QObject* context_ = nullptr;
};

// Makes a job of type Job on the item, set up further by `prepare` (on the keyring's thread).
template <class Job>
std::function<QKeychain::Job*()> MakeJob(const QString& service, const QString& account,
                                         std::function<void(Job&)> prepare = {}) {
    return [=]() -> QKeychain::Job* {
        auto* job = new Job(service);
        job->setKey(account);
        if (prepare) prepare(*job);
        return job;
    };
}

template <class Job>
Outcome RunJob(const QString& service, const QString& account, std::chrono::milliseconds timeout,
               std::function<void(Job&)> prepare = {}) {
    return KeyringThread::instance().run(MakeJob<Job>(service, account, std::move(prepare)), timeout);
}

std::optional<QString> DecodeStrict(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

void LogKeyringProblem(const char* what, const Outcome& outcome) {
    // The item's names and data stay out of the log.
    NSLog(QStringLiteral("Keyring %1 failed (%2)")
              .arg(QLatin1String(what),
                   outcome.finished ? QString::number(int(outcome.error)) : QStringLiteral("no answer")));
}

}  // namespace

PasswordStore& PasswordStore::system() {
    static KeychainPasswordStore store;
    return store;
}

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds timeout) : timeout_(timeout) {}

void KeychainPasswordStore::prefetch(const QString& service, const QString& account) {
    std::lock_guard<std::mutex> lock(prefetchMutex_);
    if (prefetched_.contains({service, account})) return;
    prefetched_.insert({service, account},
                       KeyringThread::instance().start(MakeJob<QKeychain::ReadPasswordJob>(service, account)));
}

bool KeychainPasswordStore::prefetchPending(const QString& service, const QString& account) {
    std::shared_ptr<void> early;
    {
        std::lock_guard<std::mutex> lock(prefetchMutex_);
        early = prefetched_.value({service, account});
    }
    return early && !KeyringThread::answered(*std::static_pointer_cast<KeyringThread::Pending>(early), timeout_);
}

void KeychainPasswordStore::whenPrefetchAnswered(const QString& service, const QString& account,
                                                 std::function<void()> then) {
    std::shared_ptr<KeyringThread::Pending> early;
    {
        std::lock_guard<std::mutex> lock(prefetchMutex_);
        early = std::static_pointer_cast<KeyringThread::Pending>(prefetched_.value({service, account}));
    }
    if (!early || KeyringThread::answered(*early, timeout_)) {
        then();
        return;
    }
    // The answer or the time-out, whichever comes first, runs `then` once on this thread.
    // The relay lives on this thread; the last of the two holders lets it go.
    std::shared_ptr<QObject> relay(new QObject, [](QObject* object) { object->deleteLater(); });
    auto once = std::make_shared<std::function<void()>>(std::move(then));
    const auto fire = [once] {
        if (*once) std::exchange(*once, {})();
    };
    KeyringThread::whenFinished(*early,
                                [relay, fire] { QMetaObject::invokeMethod(relay.get(), fire, Qt::QueuedConnection); });
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(early->started + timeout_ -
                                                                            std::chrono::steady_clock::now());
    QTimer::singleShot(std::max(left, std::chrono::milliseconds(0)), relay.get(), [relay, fire] { fire(); });
}

std::optional<QString> KeychainPasswordStore::read(const QString& service, const QString& account) {
    std::shared_ptr<void> early;
    {
        std::lock_guard<std::mutex> lock(prefetchMutex_);
        early = prefetched_.take({service, account});
    }
    const Outcome outcome =
        early ? KeyringThread::wait(*std::static_pointer_cast<KeyringThread::Pending>(early), timeout_)
              : RunJob<QKeychain::ReadPasswordJob>(service, account, timeout_);
    if (!outcome.finished || outcome.error != QKeychain::NoError) {
        if (!outcome.finished || outcome.error != QKeychain::EntryNotFound) LogKeyringProblem("read", outcome);
        return QString();
    }
    return DecodeStrict(outcome.data);
}

void KeychainPasswordStore::dropPrefetch(const QString& service, const QString& account) {
    std::lock_guard<std::mutex> lock(prefetchMutex_);
    prefetched_.remove({service, account});
}

bool KeychainPasswordStore::write(const QString& service, const QString& account, const QString& password) {
    dropPrefetch(service, account);
    const QByteArray bytes = password.toUtf8();
    const Outcome outcome = RunJob<QKeychain::WritePasswordJob>(
        service, account, timeout_, [bytes](QKeychain::WritePasswordJob& job) { job.setBinaryData(bytes); });
    const bool ok = outcome.finished && outcome.error == QKeychain::NoError;
    if (!ok) LogKeyringProblem("write", outcome);
    return ok;
}

void KeychainPasswordStore::writeWithoutWaiting(const QString& service, const QString& account,
                                                const QString& password) {
    dropPrefetch(service, account);
    const QByteArray bytes = password.toUtf8();
    // The keyring's jobs run one after another on its thread, so later reads see this one.
    KeyringThread::instance().start(
        MakeJob<QKeychain::WritePasswordJob>(service, account,
                                             [bytes](QKeychain::WritePasswordJob& job) { job.setBinaryData(bytes); }),
        [](const Outcome& outcome) {
            if (outcome.error != QKeychain::NoError) LogKeyringProblem("write", outcome);
        });
}

bool KeychainPasswordStore::remove(const QString& service, const QString& account) {
    dropPrefetch(service, account);
    const Outcome outcome = RunJob<QKeychain::DeletePasswordJob>(service, account, timeout_);
    const bool ok =
        outcome.finished && (outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound);
    if (!ok) LogKeyringProblem("delete", outcome);
    return ok;
}

std::optional<QString> MemoryPasswordStore::read(const QString& service, const QString& account) {
    ++reads;
    if (failing) return QString();
    auto it = items_.constFind({service, account});
    if (it == items_.cend()) return QString();
    return DecodeStrict(it.value());
}

bool MemoryPasswordStore::write(const QString& service, const QString& account, const QString& password) {
    if (failing) return false;
    items_.insert({service, account}, password.toUtf8());
    return true;
}

bool MemoryPasswordStore::remove(const QString& service, const QString& account) {
    if (failing) return false;
    items_.remove({service, account});
    return true;
}

void MemoryPasswordStore::setRaw(const QString& service, const QString& account, const QByteArray& bytes) {
    items_.insert({service, account}, bytes);
}

bool MemoryPasswordStore::contains(const QString& service, const QString& account) const {
    return items_.contains({service, account});
}

namespace KeychainUtils {

QString canonicalScreenName(const QString& screenName) {
    QString out;
    out.reserve(screenName.size());
    for (QChar c : screenName)
        if (!c.isSpace()) out.append(c);
    return out.toLower();
}

std::optional<QString> passwordForScreenName(PasswordStore& store, const QString& screenName, const QString& service) {
    if (screenName.isEmpty()) return QString();
    return store.read(service, canonicalScreenName(screenName));
}

void savePasswordToKeychain(PasswordStore& store, const QString& password, const QString& screenName,
                            const QString& service) {
    const QString account = canonicalScreenName(screenName);
    if (password.isEmpty())
        store.remove(service, account);
    else
        store.write(service, account, password);
}

}  // namespace KeychainUtils
