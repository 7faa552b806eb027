#pragma once
// SoRef<T>: one reference on a reference-counted Coin object (a node, a path,
// an engine: anything with ref() and unref()) for the life of the holder.
//
// Contract
//   - SoRef<T> h(p) calls p->ref(); the destructor and reset() call unref() on
//     what the holder had, which deletes the object when that was its last
//     reference. A holder may be null: then it holds and releases nothing.
//   - Copies add a reference each; a move hands the reference over and leaves
//     the source null. Assigning or resetting takes the new reference before
//     dropping the old one, so resetting a holder to what it already holds is
//     safe.
//   - SoRef<T>::adopt(p) takes over a reference the caller already owns (from
//     a function that hands out referenced objects) instead of adding one.
//   - get() (and ->, *, the conversion to T*) lends the object: no reference
//     goes with the pointer. Pass it to Coin calls that want a raw pointer; a
//     caller that keeps it beyond the holder's life takes its own reference.
//   - detach() gives the reference up without deleting (unrefNoDelete) and
//     returns the object; the holder is then null. It is for the two cases
//     where a zero count is the contract: a factory returning a new object
//     for its caller to ref, and a borrowed reference on a caller's object
//     that may have had none.
//   - Like Coin's reference counts themselves, a holder is not safe to use
//     from two threads at once; it adds no locking.
#include <utility>

namespace vx::host {

template <class T>
class SoRef {
public:
  SoRef() = default;
  explicit SoRef(T* object) : p_(object) {
    if (p_) p_->ref();
  }
  static SoRef adopt(T* referenced) {
    SoRef held;
    held.p_ = referenced;
    return held;
  }
  SoRef(const SoRef& other) : SoRef(other.p_) {}
  SoRef(SoRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~SoRef() {
    if (p_) p_->unref();
  }

  SoRef& operator=(const SoRef& other) {
    reset(other.p_);
    return *this;
  }
  SoRef& operator=(SoRef&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(p_, std::exchange(other.p_, nullptr));
      if (old) old->unref();
    }
    return *this;
  }

  // Holds `object` (or nothing) instead of what was held.
  void reset(T* object = nullptr) {
    if (object) object->ref();
    T* old = std::exchange(p_, object);
    if (old) old->unref();
  }

  // See the contract above: unrefNoDelete, then the holder is null.
  T* detach() {
    T* object = std::exchange(p_, nullptr);
    if (object) object->unrefNoDelete();
    return object;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  operator T*() const { return p_; }

private:
  T* p_ = nullptr;
};

// Deduces T: auto root = vx::host::MakeRef(new SoSeparator);
template <class T>
SoRef<T> MakeRef(T* object) {
  return SoRef<T>(object);
}

}  // namespace vx::host
