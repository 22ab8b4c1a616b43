// Events: callbacks bound to an object (code plus object), as method pointers are.
#pragma once

#include <type_traits>

namespace ql {

/// A type-erased method pointer: the code part and the object it runs on.
/// An event counts as assigned when its code part is set.
struct TMethod {
    using Code = void (*)();
    Code code = nullptr;
    void* data = nullptr;
    bool Assigned() const noexcept { return code != nullptr; }
    friend bool operator==(const TMethod&, const TMethod&) = default;
};

template <class Sig>
class TEvent;

/// A typed event. Bind a member function with TEvent<Sig>::Of<&T::Method>(object).
template <class R, class... A>
class TEvent<R(A...)> {
  public:
    using Code = R (*)(void* self, A...);

    TEvent() = default;
    TEvent(Code code, void* data) : fCode(code), fData(data) {}
    explicit TEvent(const TMethod& m) : fCode(reinterpret_cast<Code>(m.code)), fData(m.data) {}

    template <auto Method, class T>
    static TEvent Of(T* object) {
        return TEvent(&Trampoline<Method, T>, static_cast<void*>(object));
    }

    /// The plain code pointer for a member function; the same function always gives the same code.
    template <auto Method, class T>
    static Code CodeOf() {
        return &Trampoline<Method, T>;
    }

    bool Assigned() const noexcept { return fCode != nullptr; }
    explicit operator bool() const noexcept { return Assigned(); }
    R operator()(A... args) const { return fCode(fData, static_cast<A>(args)...); }

    Code code() const noexcept { return fCode; }
    void* data() const noexcept { return fData; }
    TMethod AsMethod() const noexcept { return TMethod{reinterpret_cast<TMethod::Code>(fCode), fData}; }
    friend bool operator==(const TEvent& a, const TEvent& b) {
        return a.fCode == b.fCode && a.fData == b.fData;
    }

  private:
    template <auto Method, class T>
    static R Trampoline(void* self, A... args) {
        return (static_cast<T*>(self)->*Method)(static_cast<A>(args)...);
    }

    Code fCode = nullptr;
    void* fData = nullptr;
};

class TObject;
/// The event type every notification uses: (Sender).
using TNotifyEvent = TEvent<void(TObject* Sender)>;

} // namespace ql
