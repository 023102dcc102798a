#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Notification;
using platform::NotificationCenter;
using platform::ObserverRegistration;

namespace {

class NotificationDelivery : public ::testing::Test {
protected:
    NotificationCenter center;
    std::vector<std::string> log;
    const int senderA = 0, senderB = 0;
    const int observer1 = 0, observer2 = 0;

    void record(const void* observer, const std::string& name, const void* sender, const std::string& tag)
    {
        center.addObserver(observer, name, sender, [this, tag](const Notification& n) { log.push_back(tag + ":" + n.name); });
    }
};

TEST_F(NotificationDelivery, SenderAndNameSelectObservers)
{
    record(&observer1, "Changed", &senderA, "onlyA");
    record(&observer2, "Changed", nullptr, "any");
    center.post({"Changed", &senderB});
    center.post({"Other", &senderA});
    center.post({"Changed", &senderA});
    EXPECT_EQ(log, (std::vector<std::string>{"any:Changed", "onlyA:Changed", "any:Changed"}));
}

TEST_F(NotificationDelivery, PostsDuringDeliveryAreQueuedInPostingOrder)
{
    center.addObserver(&observer1, "First", nullptr, [&](const Notification& n) {
        log.push_back("1:" + n.name);
        center.post({"Second", nullptr});
        center.post({"Third", nullptr});
    });
    record(&observer2, "First", nullptr, "2");
    record(&observer2, "Second", nullptr, "2");
    record(&observer2, "Third", nullptr, "2");
    center.post({"First", nullptr});
    // Every observer of the first notification hears it before anything posted meanwhile.
    EXPECT_EQ(log, (std::vector<std::string>{"1:First", "2:First", "2:Second", "2:Third"}));
}

TEST_F(NotificationDelivery, RemovalInsideAHandlerTakesEffectAtOnce)
{
    center.addObserver(&observer1, "Tick", nullptr, [&](const Notification&) {
        log.push_back("1");
        center.removeObserver(&observer2);
    });
    record(&observer2, "Tick", nullptr, "2");
    center.post({"Tick", nullptr});
    center.post({"Tick", nullptr});
    EXPECT_EQ(log, (std::vector<std::string>{"1", "1"}));
}

TEST_F(NotificationDelivery, RemovalMatchesNameAndSender)
{
    record(&observer1, "A", &senderA, "a");
    record(&observer1, "B", &senderA, "b");
    record(&observer1, "B", &senderB, "bB");
    center.removeObserver(&observer1, "B", &senderA);
    center.post({"A", &senderA});
    center.post({"B", &senderA});
    center.post({"B", &senderB});
    EXPECT_EQ(log, (std::vector<std::string>{"a:A", "bB:B"}));

    log.clear();
    {
        ObserverRegistration registration(center, &observer1);
    }
    center.post({"A", &senderA});
    center.post({"B", &senderB});
    EXPECT_TRUE(log.empty());
}

TEST_F(NotificationDelivery, ObserverAddedDuringDeliveryWaitsForTheNextPost)
{
    center.addObserver(&observer1, "Go", nullptr, [&](const Notification&) {
        if (log.empty())
            record(&observer2, "Go", nullptr, "late");
        log.push_back("first");
    });
    center.post({"Go", nullptr});
    center.post({"Go", nullptr});
    EXPECT_EQ(log, (std::vector<std::string>{"first", "first", "late:Go"}));
}

} // namespace
