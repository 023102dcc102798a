#pragma once
// Named notifications from a sender to observers, on the main thread.

#include <functional>
#include <string>
#include <vector>
#include <deque>
#include <memory>

namespace platform {

struct Notification {
    std::string name;
    const void* object = nullptr;   // the sender; nullptr matches any sender when observing
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    // Calls the handler for every posting of this name by this sender
    // (any sender when sender is nullptr; any name when the name is empty). Main thread only.
    void addObserver(const void* observer, std::string name, const void* sender, Handler handler);

    // Removes the observer's subscriptions that match name and sender. An empty name
    // or a null sender matches any. Safe inside a handler: a removed observer gets
    // nothing more, not even a notification already being delivered.
    void removeObserver(const void* observer, const std::string& name = {}, const void* sender = nullptr);

    // Delivers at once, to observers in subscription order. A post made while a
    // handler runs is queued and delivered after the current one, in posting order.
    void post(Notification notification);

private:
    struct Observation {
        const void* observer;
        std::string name;
        const void* sender;
        Handler handler;
        bool removed = false;
    };
    std::vector<std::shared_ptr<Observation>> observations_;
    std::deque<Notification> queue_;
    bool delivering_ = false;
};

// Removes the observer's subscriptions when destroyed.
class ObserverRegistration {
public:
    ObserverRegistration() = default;
    ObserverRegistration(NotificationCenter& center, const void* observer) : center_(&center), observer_(observer) {}
    ObserverRegistration(ObserverRegistration&& o) noexcept : center_(o.center_), observer_(o.observer_) { o.center_ = nullptr; }
    ObserverRegistration& operator=(ObserverRegistration&& o) noexcept
    {
        if (this != &o) {
            reset();
            center_ = o.center_;
            observer_ = o.observer_;
            o.center_ = nullptr;
        }
        return *this;
    }
    ~ObserverRegistration() { reset(); }
    void reset()
    {
        if (center_)
            center_->removeObserver(observer_);
        center_ = nullptr;
    }

private:
    NotificationCenter* center_ = nullptr;
    const void* observer_ = nullptr;
};

} // namespace platform
