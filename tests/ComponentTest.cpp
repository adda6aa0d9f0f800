#include "core/Component.h"

#include <gtest/gtest.h>

namespace {
struct Probe : TComponent {
    explicit Probe(TComponent* owner = nullptr, int* destroyed = nullptr)
        : TComponent(owner), destroyed_(destroyed) {}
    ~Probe() override {
        if (destroyed_) ++*destroyed_;
    }
    void Watch(TComponent* c) {
        watched = c;
        FreeNotification(c);
    }
    TComponent* watched = nullptr;
    int* destroyed_;

protected:
    void Notification(TComponent* c, TOperation op) override {
        if (op == TOperation::opRemove && c == watched) watched = nullptr;
    }
};
}  // namespace

TEST(Component, OwnerFreesWhatItOwns) {
    int destroyed = 0;
    auto* owner = new Probe(nullptr, &destroyed);
    new Probe(owner, &destroyed);
    auto* second = new Probe(owner, &destroyed);
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete second;  // freed early: the owner forgets it
    EXPECT_EQ(owner->ComponentCount(), 1);
    delete owner;
    EXPECT_EQ(destroyed, 3);
}

TEST(Component, ReferencingComponentsAreToldOfDestruction) {
    Probe watcher;
    auto* target = new Probe;
    watcher.Watch(target);
    delete target;
    EXPECT_EQ(watcher.watched, nullptr);

    // The other way round: the watcher going first must not leave a
    // dangling link in the target.
    auto* target2 = new Probe;
    {
        Probe shortLived;
        shortLived.Watch(target2);
    }
    delete target2;
}

TEST(Component, ReparentingMovesOwnership) {
    Probe a, b;
    auto* child = new Probe(&a);
    b.InsertComponent(child);
    EXPECT_EQ(a.ComponentCount(), 0);
    EXPECT_EQ(child->Owner(), &b);
}
