// One owner per kind of system handle, each with its own empty value; they
// move but never copy, so a handle is closed exactly once.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include <utility>

namespace lantern {

template <class Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;
  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Value get() const { return value_; }
  bool valid() const { return value_ != Traits::Empty(); }
  explicit operator bool() const { return valid(); }
  Value release() { return std::exchange(value_, Traits::Empty()); }
  void reset(Value value = Traits::Empty()) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }
  // For APIs that hand a handle out through a pointer.
  Value* put() {
    reset();
    return &value_;
  }

 private:
  Value value_ = Traits::Empty();
};

// CreateFileW's handles: INVALID_HANDLE_VALUE when there is none.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) { CloseHandle(value); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

// Handles of other kernel objects (tokens, mutexes, events): null when there
// is none.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { CloseHandle(value); }
};
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;

struct FindHandleTraits {
  using Value = HANDLE;
  static Value Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) { FindClose(value); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

// Memory allocated with LocalAlloc (security descriptors, ACLs, fixed working
// buffers, whose handle is their address).
struct LocalMemoryTraits {
  using Value = HLOCAL;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { LocalFree(value); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

// SIDs from AllocateAndInitializeSid.
struct SidTraits {
  using Value = PSID;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { FreeSid(value); }
};
using UniqueSid = UniqueResource<SidTraits>;

// Registry keys from RegOpenKeyExW and RegCreateKeyExW.
struct RegistryKeyTraits {
  using Value = HKEY;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { RegCloseKey(value); }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

// Memory from the COM task allocator (the shell's item lists).
struct TaskMemoryTraits {
  using Value = void*;
  static Value Empty() { return nullptr; }
  static void Close(Value value) { CoTaskMemFree(value); }
};
using UniqueTaskMemory = UniqueResource<TaskMemoryTraits>;

}  // namespace lantern
