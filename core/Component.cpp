#include "core/Component.h"

#include <algorithm>

namespace {
void EraseOne(std::vector<TComponent*>& list, TComponent* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) list.erase(it);
}
}  // namespace

TComponent::TComponent(TComponent* owner) {
    if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    NotifyDestruction();
    DestroyComponents();
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::NotifyDestruction() {
    if (destroying_) return;
    destroying_ = true;
    // Tell everyone linked to us, then unlink; each may remove itself from
    // our list while being told, so work on a copy.
    std::vector<TComponent*> linked;
    linked.swap(freeNotifies_);
    for (TComponent* other : linked) {
        EraseOne(other->freeNotifies_, this);
        other->Notification(this, TOperation::opRemove);
    }
    if (owner_ != nullptr) owner_->Notification(this, TOperation::opRemove);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* child = components_.back();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
}

void TComponent::InsertComponent(TComponent* child) {
    if (child == nullptr || child->owner_ == this) return;
    if (child->owner_ != nullptr) child->owner_->RemoveComponent(child);
    child->owner_ = this;
    components_.push_back(child);
    Notification(child, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* child) {
    if (child == nullptr || child->owner_ != this) return;
    EraseOne(components_, child);
    child->owner_ = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
    if (component == nullptr || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
        freeNotifies_.push_back(component);
    if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
        component->freeNotifies_.end())
        component->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (component == nullptr) return;
    EraseOne(freeNotifies_, component);
    EraseOne(component->freeNotifies_, this);
}

void TComponent::Notification(TComponent*, TOperation) {}
