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
