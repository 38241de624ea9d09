#include "app/foundation/NotificationCenter.h"

#include <algorithm>

struct NotificationCenter::State {
    std::vector<std::shared_ptr<Subscription::Entry>> observers;
};

struct NotificationCenter::Subscription::Entry {
    QString name;
    const void* object = nullptr;
    Handler handler;
    bool removed = false;
    std::weak_ptr<State> center;
};

NotificationCenter::Subscription& NotificationCenter::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        entry_ = std::move(other.entry_);
    }
    return *this;
}

NotificationCenter::Subscription::~Subscription() { reset(); }

void NotificationCenter::Subscription::reset() {
    if (!entry_) return;
    entry_->removed = true;
    if (auto state = entry_->center.lock()) {
        auto& list = state->observers;
        list.erase(std::remove(list.begin(), list.end(), entry_), list.end());
    }
    // The handler may be running (an observer removing itself): it stays alive through
    // the post's copy of the list.
    entry_.reset();
}

bool NotificationCenter::Subscription::active() const { return entry_ && !entry_->removed; }

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() {
    for (auto& entry : state_->observers)
        entry->removed = true;
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Subscription NotificationCenter::observe(const QString& name, const void* object, Handler handler) {
    auto entry = std::make_shared<Subscription::Entry>();
    entry->name = name;
    entry->object = object;
    entry->handler = std::move(handler);
    entry->center = state_;
    state_->observers.push_back(entry);
    Subscription subscription;
    subscription.entry_ = std::move(entry);
    return subscription;
}

void NotificationCenter::post(const QString& name, const void* object, UserInfo userInfo) {
    post(Notification{name, object, std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    const auto observers = state_->observers;
    for (const auto& entry : observers) {
        if (entry->removed) continue;
        if (!entry->name.isEmpty() && entry->name != notification.name) continue;
        if (entry->object && entry->object != notification.object) continue;
        entry->handler(notification);
    }
}
