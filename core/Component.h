// Component base: the owner model shared by every subsystem. A component
// created with an owner is freed by that owner; components that asked to be
// told (FreeNotification) hear about a component going away so that they
// drop their reference to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value) { name_ = value; }
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t value) { tag_ = value; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }

    // Takes ownership of child (removing it from its previous owner).
    void InsertComponent(TComponent* child);
    // Gives up ownership of child without freeing it.
    void RemoveComponent(TComponent* child);

    // Ask to be told through Notification(this-component, opRemove) when
    // `component` is destroyed. Symmetric, as both sides may go first.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

protected:
    // Called when a component this one is linked to goes away (opRemove) or
    // when a child is inserted (opInsert).
    virtual void Notification(TComponent* component, TOperation operation);

    // Derived destructors that must see the component's own state while
    // telling others may call this first; the base destructor calls it too.
    void NotifyDestruction();

private:
    void DestroyComponents();

    TComponent* owner_ = nullptr;
    std::string name_;
    intptr_t tag_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool destroying_ = false;
};

// Frees a component and clears the reference in one step.
template <class T>
void FreeAndNil(T*& component) {
    T* p = component;
    component = nullptr;
    delete p;
}
