// A non-owning reference to a callable: lets the transaction call an operation's reply reading
// without allocating.
#pragma once

#include <type_traits>
#include <utility>

namespace vml::napi {

template <class Signature>
class FunctionRef;

template <class Result, class... Arguments>
class FunctionRef<Result(Arguments...)> {
 public:
  FunctionRef() = default;
  template <class Callable, class = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef>>>
  FunctionRef(Callable&& callable)  // NOLINT(google-explicit-constructor): used like a function pointer
      : object_(const_cast<void*>(static_cast<const void*>(&callable))),
        call_([](void* object, Arguments... arguments) -> Result {
          return (*static_cast<std::remove_reference_t<Callable>*>(object))(
              std::forward<Arguments>(arguments)...);
        }) {}

  explicit operator bool() const { return call_ != nullptr; }
  Result operator()(Arguments... arguments) const {
    return call_(object_, std::forward<Arguments>(arguments)...);
  }

 private:
  void* object_ = nullptr;
  Result (*call_)(void*, Arguments...) = nullptr;
};

}  // namespace vml::napi
