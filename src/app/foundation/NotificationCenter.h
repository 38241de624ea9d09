#pragma once

// NSNotificationCenter's stand-in. Delivery is synchronous, in the order observers
// were added, over a copy of the observer list taken when the post starts: an observer
// added during a post hears the next one, an observer removed during a post is not
// called again, not even later in that post.

#include <QString>

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <vector>

struct Notification {
    QString name;
    const void* object = nullptr;
    std::map<QString, std::any> userInfo;
};

class NotificationCenter {
public:
    using UserInfo = std::map<QString, std::any>;
    using Handler = std::function<void(const Notification&)>;

    // Removes its observer when destroyed (or on reset()); outliving the center is safe.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription();
        void reset();
        bool active() const;

    private:
        friend class NotificationCenter;
        struct Entry;
        std::shared_ptr<Entry> entry_;
    };

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The application's center.
    static NotificationCenter& defaultCenter();

    // An empty name hears every name; a null object every sender.
    [[nodiscard]] Subscription observe(const QString& name, const void* object, Handler handler);

    void post(const QString& name, const void* object = nullptr, UserInfo userInfo = {});
    void post(const Notification& notification);

private:
    struct State;
    std::shared_ptr<State> state_;
};
