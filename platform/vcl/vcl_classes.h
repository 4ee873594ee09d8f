// Object model of the window platform: the root object with its message dispatch,
// components that own components, event handlers and string lists.
#pragma once

#include "vcl_property.h"
#include "vcl_string.h"

#include <functional>
#include <string_view>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;

    // Message dispatch. `Message` points to a message record whose first field is the
    // message id (TMessage). The platform handles no message of its own here and passes
    // every one to DefaultHandler; a class that takes a message overrides Dispatch and
    // passes the rest on to the inherited one.
    virtual void Dispatch(void* Message);
    // What happens to a message nobody takes: nothing.
    virtual void DefaultHandler(void* Message);
};

// An event handler: a bound method taking the object that raised the event.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component: named, owned by another component (or by nobody), and owner of the
// components created with it as owner. Destroying a component destroys everything it owns,
// the last created first.
class TComponent : public TObject {
    AnsiString GetName() const { return ComponentName; }
    void SetName(const AnsiString& name) { ComponentName = name; }
    TComponent* GetOwner() const { return ComponentOwner; }
    int GetComponentCount() const { return static_cast<int>(OwnedComponents.size()); }
    TComponent* GetComponent(int index) const;

public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    Property<&TComponent::GetName, &TComponent::SetName> Name{this};
    ReadOnlyProperty<&TComponent::GetOwner> Owner{this};
    ReadOnlyProperty<&TComponent::GetComponentCount> ComponentCount{this};
    IndexedProperty<&TComponent::GetComponent> Components{this};

    // The owned component with this name (ASCII case ignored), or null.
    TComponent* FindComponent(std::string_view name) const;
    // Destroys every owned component, the last created first.
    void DestroyComponents();

    // The event of this component called `name` ("OnClick"), or null when it has none.
    virtual TNotifyEvent* FindEvent(std::string_view name);
    // Called once every property of a form description has been applied.
    virtual void Loaded() {}

protected:
    // Lets go of every owned component without destroying it; each one has no owner after.
    void AbandonComponents();

private:
    AnsiString ComponentName;
    TComponent* ComponentOwner = nullptr;
    std::vector<TComponent*> OwnedComponents;
};

// Raises `event` (when assigned) on behalf of `sender`. An exception that leaves the
// handler is caught and shown by the application object, so that it never unwinds
// through the toolkit's event loop.
void CallEvent(const TNotifyEvent& event, TObject* sender) noexcept;

// A list of strings, in the order added.
class TStrings {
    int GetCountValue() const { return GetCount(); }
    AnsiString GetStringValue(int index) const { return Get(index); }

public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;
    virtual ~TStrings() = default;

    // Appends `text` at the end (never sorted); returns its position.
    virtual int Add(const AnsiString& text) = 0;
    virtual void Clear() = 0;

    ReadOnlyProperty<&TStrings::GetCountValue> Count{this};
    // The entry at `index`; throws Exception when out of range.
    IndexedProperty<&TStrings::GetStringValue> Strings{this};

protected:
    virtual int GetCount() const = 0;
    virtual AnsiString Get(int index) const = 0;
};
