// Properties in the platform's style: a member that reads like a field
// (`Box->ItemIndex = 3; int i = Box->ItemIndex;`) and calls the owner's getter and setter.
//
//   class TBox {
//       int GetIndex() const;
//       void SetIndex(int);
//   public:
//       Property<&TBox::GetIndex, &TBox::SetIndex> ItemIndex{this};
//   };
//
// A property belongs to the object it was initialised with and can be neither copied nor
// moved; assigning one property to another copies the value.
#pragma once

#include <type_traits>

namespace vcl_detail {
template <class> struct Getter;
template <class C, class R> struct Getter<R (C::*)() const> {
    using Owner = C;
    using Value = std::remove_cvref_t<R>;
};
template <class> struct IndexedGetter;
template <class C, class R> struct IndexedGetter<R (C::*)(int) const> {
    using Owner = C;
    using Value = std::remove_cvref_t<R>;
};
} // namespace vcl_detail

template <auto Get, auto Set> class Property {
    using Owner = typename vcl_detail::Getter<decltype(Get)>::Owner;

public:
    using Value = typename vcl_detail::Getter<decltype(Get)>::Value;

    explicit Property(Owner* owner) : owner_(owner) {}
    Property(const Property&) = delete;

    operator Value() const { return (owner_->*Get)(); }
    Value get() const { return (owner_->*Get)(); }

    Property& operator=(const Value& value) {
        (owner_->*Set)(value);
        return *this;
    }
    Property& operator=(const Property& other) { return *this = other.get(); }

    friend bool operator==(const Property& p, const Value& value) { return p.get() == value; }

private:
    Owner* owner_;
};

template <auto Get> class ReadOnlyProperty {
    using Owner = typename vcl_detail::Getter<decltype(Get)>::Owner;

public:
    using Value = typename vcl_detail::Getter<decltype(Get)>::Value;

    explicit ReadOnlyProperty(const Owner* owner) : owner_(owner) {}
    ReadOnlyProperty(const ReadOnlyProperty&) = delete;
    ReadOnlyProperty& operator=(const ReadOnlyProperty&) = delete;

    operator Value() const { return (owner_->*Get)(); }
    Value get() const { return (owner_->*Get)(); }
    // For pointer-valued properties: `Form->Handle` reads, `Box->Items->Add(...)` calls.
    Value operator->() const requires std::is_pointer_v<Value> { return get(); }

    friend bool operator==(const ReadOnlyProperty& p, const Value& value) {
        return p.get() == value;
    }

private:
    const Owner* owner_;
};

// A read-only array property: `Panels->Items[0]`.
template <auto Get> class IndexedProperty {
    using Owner = typename vcl_detail::IndexedGetter<decltype(Get)>::Owner;

public:
    using Value = typename vcl_detail::IndexedGetter<decltype(Get)>::Value;

    explicit IndexedProperty(const Owner* owner) : owner_(owner) {}
    IndexedProperty(const IndexedProperty&) = delete;
    IndexedProperty& operator=(const IndexedProperty&) = delete;

    Value operator[](int index) const { return (owner_->*Get)(index); }

private:
    const Owner* owner_;
};
