// Reference counting of the library's shared objects (stores, folders,
// messages, attachments, property sets, blocks, streams).
//
// The count is a plain integer: objects are used from one thread at a time.
// A new object starts at 0; the first holder's add_ref takes it to 1, and the
// release that takes it below 1 destroys it.
#pragma once

#include <cstdint>
#include <utility>

namespace vendrel {

class BaseObject {
 public:
  BaseObject() = default;
  BaseObject(const BaseObject&) = delete;
  BaseObject& operator=(const BaseObject&) = delete;

  // Slot order of the format's object model: destroy, add reference, release.
  virtual void destroy() { delete this; }
  // Returns the count before the increment.
  virtual int32_t add_ref() { return ref_count_++; }
  // Returns the count after the decrement; destroys the object below 1.
  virtual int32_t release() {
    int32_t now = --ref_count_;
    if (now < 1) destroy();
    return now;
  }

  int32_t ref_count() const { return ref_count_; }

 protected:
  virtual ~BaseObject() = default;

 private:
  int32_t ref_count_ = 0;
};

// A counted reference: holds one reference to a BaseObject for its lifetime.
template <typename T>
class ref {
 public:
  ref() = default;
  ref(std::nullptr_t) {}
  explicit ref(T* object) : object_(object) {
    if (object_) object_->add_ref();
  }
  ref(const ref& other) : ref(other.object_) {}
  ref(ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <typename U>
  ref(const ref<U>& other) : ref(static_cast<T*>(other.get())) {}
  ~ref() { reset(); }

  ref& operator=(ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  void reset() {
    if (T* old = std::exchange(object_, nullptr)) old->release();
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  friend bool operator==(const ref& a, const ref& b) { return a.object_ == b.object_; }

 private:
  T* object_ = nullptr;
};

template <typename T, typename... Args>
ref<T> make_ref(Args&&... args) {
  return ref<T>(new T(std::forward<Args>(args)...));
}

}  // namespace vendrel
