#include "platform/NotificationCenter.h"

#include <utility>

namespace platform {

void NotificationCenter::addObserver(const void* observer, std::string name, const void* sender, Handler handler)
{
    auto observation = std::make_shared<Observation>();
    observation->observer = observer;
    observation->name = std::move(name);
    observation->sender = sender;
    observation->handler = std::move(handler);
    observations_.push_back(std::move(observation));
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name, const void* sender)
{
    std::erase_if(observations_, [&](const std::shared_ptr<Observation>& o) {
        const bool matches = o->observer == observer && (name.empty() || o->name == name) &&
                             (sender == nullptr || o->sender == sender);
        // A delivery in progress holds its own list; the flag stops it reaching this one.
        if (matches)
            o->removed = true;
        return matches;
    });
}

void NotificationCenter::post(Notification notification)
{
    queue_.push_back(std::move(notification));
    if (delivering_)
        return;

    struct DeliveryGuard {
        NotificationCenter& center;
        ~DeliveryGuard()
        {
            center.delivering_ = false;
            // Only reached early when a handler threw: what it queued is dropped with it.
            center.queue_.clear();
        }
    } guard{*this};
    delivering_ = true;

    while (!queue_.empty()) {
        const Notification current = std::move(queue_.front());
        queue_.pop_front();
        // Observers added during this delivery wait for the next notification.
        const auto snapshot = observations_;
        for (const auto& observation : snapshot) {
            if (observation->removed)
                continue;
            if (!observation->name.empty() && observation->name != current.name)
                continue;
            if (observation->sender != nullptr && observation->sender != current.object)
                continue;
            observation->handler(current);
        }
    }
}

} // namespace platform
