#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The little that the socket component, its logger and their users share of a component model:
// a name, a "being destroyed" flag, and free notifications (a component that holds a pointer to
// another one asks to be told when that one goes).
class TComponent {
 public:
  enum TOperation { opInsert, opRemove };

  TComponent() = default;
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  // True once destruction has begun; events are no longer fired then.
  bool Destroying() const { return destroying_; }

  // other->Notification(this, opRemove) runs when this component is destroyed, and the other
  // way round. Not thread-safe: both components belong to one thread.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  void BeginDestroy() { destroying_ = true; }

 private:
  void Unlink(TComponent* other);

  std::string name_;
  bool destroying_ = false;
  std::vector<TComponent*> notified_;
};

// A set of enumeration values (up to 32), as the component properties use them.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr TSet& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr TSet& Exclude(E v) {
    bits_ &= ~Bit(v);
    return *this;
  }
  constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  static constexpr TSet FromBits(std::uint32_t b) {
    TSet s;
    s.bits_ = b;
    return s;
  }
  std::uint32_t bits_ = 0;
};
