#include "app/services/PasswordStore.h"

#include "app/services/NSLog.h"

#include <QEventLoop>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

struct Outcome {
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QByteArray data;
};

// Runs one keyring job on a thread of its own with its own event loop, and waits for it
// there, at most `timeout`: the caller's loop runs nothing meanwhile.
template <class MakeJob>
Outcome RunJob(MakeJob make, std::chrono::milliseconds timeout) {
    Outcome outcome;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        QEventLoop loop;
        std::unique_ptr<QKeychain::Job> job(make());
        job->setAutoDelete(false);
        QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
            outcome.finished = true;
            outcome.error = done->error();
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) outcome.data = read->binaryData();
            loop.quit();
        });
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        job->start();
        if (!outcome.finished) loop.exec();
    }));
    thread->start();
    thread->wait();
    return outcome;
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

std::optional<QString> KeychainPasswordStore::read(const QString& service, const QString& account) {
    const Outcome outcome = RunJob(
        [&] {
            auto* job = new QKeychain::ReadPasswordJob(service);
            job->setKey(account);
            return job;
        },
        timeout_);
    if (!outcome.finished || outcome.error != QKeychain::NoError) {
        if (!outcome.finished || outcome.error != QKeychain::EntryNotFound) LogKeyringProblem("read", outcome);
        return QString();
    }
    return DecodeStrict(outcome.data);
}

bool KeychainPasswordStore::write(const QString& service, const QString& account, const QString& password) {
    const Outcome outcome = RunJob(
        [&] {
            auto* job = new QKeychain::WritePasswordJob(service);
            job->setKey(account);
            job->setBinaryData(password.toUtf8());
            return job;
        },
        timeout_);
    const bool ok = outcome.finished && outcome.error == QKeychain::NoError;
    if (!ok) LogKeyringProblem("write", outcome);
    return ok;
}

bool KeychainPasswordStore::remove(const QString& service, const QString& account) {
    const Outcome outcome = RunJob(
        [&] {
            auto* job = new QKeychain::DeletePasswordJob(service);
            job->setKey(account);
            return job;
        },
        timeout_);
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
