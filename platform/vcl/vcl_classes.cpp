#include "vcl_classes.h"

#include "vcl_forms.h"
#include "vcl_sysutils.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void TObject::Dispatch(void* Message) {
    DefaultHandler(Message);
}

void TObject::DefaultHandler(void*) {}

TComponent::TComponent(TComponent* AOwner) : ComponentOwner(AOwner) {
    if (AOwner)
        AOwner->OwnedComponents.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (ComponentOwner) {
        auto& siblings = ComponentOwner->OwnedComponents;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TComponent::AbandonComponents() {
    for (TComponent* component : OwnedComponents)
        component->ComponentOwner = nullptr;
    OwnedComponents.clear();
}

TComponent* TComponent::GetComponent(int index) const {
    if (index < 0 || index >= GetComponentCount())
        throw Exception("List index out of bounds (" + AnsiString(index) + ")");
    return OwnedComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty())
        return nullptr;
    for (TComponent* component : OwnedComponents) {
        if (SameName(component->ComponentName.Utf8(), name))
            return component;
    }
    return nullptr;
}

void TComponent::DestroyComponents() {
    while (!OwnedComponents.empty()) {
        TComponent* last = OwnedComponents.back();
        OwnedComponents.pop_back();
        last->ComponentOwner = nullptr;
        delete last;
    }
}

TNotifyEvent* TComponent::FindEvent(std::string_view) {
    return nullptr;
}

void CallEvent(const TNotifyEvent& event, TObject* sender) noexcept {
    if (!event)
        return;
    try {
        event(sender);
    } catch (...) {
        Application->HandleException(sender);
    }
}
