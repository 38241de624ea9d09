#pragma once

// Desktop services as far as the program uses them, each a virtual object answered on a
// thread of its own (the program's calls block the main thread).

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace supporttest {

// Registers `object` at `path` under `service` on a connection of its own, its messages
// handled on a thread of their own; undone at destruction.
class BusService {
public:
    BusService(QDBusConnection connection, const QString& service, const QString& path, QDBusVirtualObject* object)
        : connection_(std::move(connection)), service_(service), path_(path), object_(object) {
        object_->moveToThread(&thread_);
        thread_.start();
        registered_ = connection_.registerVirtualObject(path_, object_.get()) && connection_.registerService(service_);
    }
    ~BusService() {
        connection_.unregisterService(service_);
        connection_.unregisterObject(path_);
        thread_.quit();
        thread_.wait();
    }
    bool Registered() const { return registered_; }

private:
    QDBusConnection connection_;
    QString service_;
    QString path_;
    QThread thread_;
    std::unique_ptr<QDBusVirtualObject> object_;
    bool registered_ = false;
};

// Pidgin's saved statuses: one current status of a type, its message, and the calls made.
class FakePurple : public QDBusVirtualObject {
public:
    static constexpr int kCurrent = 7;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&mutex);
        const QString member = message.member();
        const QVariantList args = message.arguments();
        calls << member;
        if (message.interface() != QLatin1String("im.pidgin.purple.PurpleInterface")) return false;
        if (member == QLatin1String("PurpleSavedstatusGetCurrent")) {
            connection.send(message.createReply(QVariantList{kCurrent}));
        } else if (member == QLatin1String("PurpleSavedstatusGetType") && args.value(0).toInt() == kCurrent) {
            connection.send(message.createReply(QVariantList{type.load()}));
        } else if (member == QLatin1String("PurpleSavedstatusSetMessage") && args.value(0).toInt() == kCurrent) {
            messages << args.value(1).toString();
            connection.send(message.createReply());
        } else if (member == QLatin1String("PurpleSavedstatusActivate") && args.value(0).toInt() == kCurrent) {
            ++activations;
            connection.send(message.createReply());
        } else {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                     QStringLiteral("no such status")));
        }
        return true;
    }

    QStringList Messages() {
        QMutexLocker lock(&mutex);
        return messages;
    }
    QStringList Calls() {
        QMutexLocker lock(&mutex);
        return calls;
    }

    QMutex mutex;
    std::atomic<int> type = 2;  // available
    std::atomic<int> activations = 0;
    QStringList calls;
    QStringList messages;
};

}  // namespace supporttest
