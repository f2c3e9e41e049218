#pragma once

// Guarded and identity-based access to arrays: a std::vector of shared_ptr
// for objects with identity, or a vector of values (path components). A null
// array pointer is an absent array: absent, false, or nothing.
//
//   objectAtIndexA(&v, -1) == nullptr;  objectAtIndexA(&v, INT32_MIN) == nullptr

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace fw {

// The element at `index`, or nullptr when the index is negative or not below
// the count.
template <class T>
[[nodiscard]] std::shared_ptr<T> objectAtIndexA(const std::vector<std::shared_ptr<T>>* array,
                                                std::int32_t index) {
  if (array == nullptr || index < 0) return nullptr;
  const auto i = static_cast<std::size_t>(index);
  if (i >= array->size()) return nullptr;
  return (*array)[i];
}

// The same for values: a copy of the element, or nullopt.
template <class T>
[[nodiscard]] std::optional<T> objectAtIndexA(const std::vector<T>* array, std::int32_t index) {
  if (array == nullptr || index < 0) return std::nullopt;
  const auto i = static_cast<std::size_t>(index);
  if (i >= array->size()) return std::nullopt;
  return (*array)[i];
}

// True when the very object `object` (the same object, not equal content) is
// an element. `object` may point at the element's class or at any base of it
// or derived from it: the two pointers are compared as their common type,
// which adjusts for a base that does not sit at the object's start, so with
// `struct V : Mixin, fw::Object {}` an element v is found through
// static_cast<const fw::Object*>(v.get()). An absent object or array answers
// false.
template <class T, class U>
requires requires(const T* element, const U* object) { element == object; }
[[nodiscard]] bool containsObjectIdenticalTo(const std::vector<std::shared_ptr<T>>* array,
                                             const U* object) {
  if (array == nullptr || object == nullptr) return false;
  for (const auto& element : *array) {
    if (element != nullptr && static_cast<const T*>(element.get()) == object) return true;
  }
  return false;
}

// For values, identity is the element's own storage: true when `object`
// points at an element of the array, false for an equal value held elsewhere.
template <class T>
[[nodiscard]] bool containsObjectIdenticalTo(const std::vector<T>* array, const T* object) {
  if (array == nullptr || object == nullptr) return false;
  for (const T& element : *array) {
    if (&element == object) return true;
  }
  return false;
}

// Appends a present object (again, if already held); an absent one is skipped.
template <class T>
void add(std::vector<std::shared_ptr<T>>* array, std::shared_ptr<T> object) {
  if (array == nullptr || object == nullptr) return;
  array->push_back(std::move(object));
}

template <class T>
void add(std::vector<T>* array, std::optional<T> object) {
  if (array == nullptr || !object) return;
  array->push_back(std::move(*object));
}

}  // namespace fw
