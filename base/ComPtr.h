// A minimal owning pointer for COM interfaces and a guard for COM initialisation.
#pragma once

#include <objbase.h>

#include <utility>

namespace velmora {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // For out-parameters: releases what is held first.
  T** Put() noexcept {
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
  void Reset() noexcept {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// Memory the system handed out with CoTaskMemAlloc (endpoint IDs, format blocks).
template <typename T>
class CoTaskMemory {
 public:
  CoTaskMemory() noexcept = default;
  ~CoTaskMemory() { ::CoTaskMemFree(p_); }
  CoTaskMemory(const CoTaskMemory&) = delete;
  CoTaskMemory& operator=(const CoTaskMemory&) = delete;
  T* Get() const noexcept { return p_; }
  T** Put() noexcept {
    ::CoTaskMemFree(std::exchange(p_, nullptr));
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// A PROPVARIANT cleared at the end of its scope.
class PropVariant {
 public:
  PropVariant() noexcept { ::PropVariantInit(&value_); }
  ~PropVariant() { ::PropVariantClear(&value_); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;
  PROPVARIANT* operator&() noexcept { return &value_; }
  const PROPVARIANT* operator->() const noexcept { return &value_; }

 private:
  PROPVARIANT value_;
};

// Initialises COM on this thread for the guard's lifetime. A thread already initialised in
// another apartment keeps it; COM calls still work there.
class ComInit {
 public:
  explicit ComInit(DWORD model = COINIT_MULTITHREADED) noexcept {
    const HRESULT hr = ::CoInitializeEx(nullptr, model);
    owns_ = SUCCEEDED(hr);
  }
  ~ComInit() {
    if (owns_) ::CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;

 private:
  bool owns_ = false;
};

}  // namespace velmora
