#pragma once
// RAII owners for the Win32 handles the program holds. Every handle is owned by
// one of these from the moment the call that returns it succeeds, so no error
// path needs its own CloseHandle.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace qv::setup {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Value value) noexcept : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Value get() const noexcept { return value_; }
  bool valid() const noexcept { return Traits::IsValid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  Value release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Value value = Traits::Invalid()) noexcept {
    Value old = std::exchange(value_, value);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  // For out-parameters of API calls: frees what is held and hands out the slot.
  Value* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Value value_ = Traits::Invalid();
};

// Handles whose failure value is INVALID_HANDLE_VALUE (files, find handles use their own).
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Value v) noexcept { return v != INVALID_HANDLE_VALUE && v != nullptr; }
  static void Close(Value v) noexcept { ::CloseHandle(v); }
};

// Handles whose failure value is NULL (processes, threads, events, tokens, jobs).
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr && v != INVALID_HANDLE_VALUE; }
  static void Close(Value v) noexcept { ::CloseHandle(v); }
};

struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Value v) noexcept { return v != INVALID_HANDLE_VALUE && v != nullptr; }
  static void Close(Value v) noexcept { ::FindClose(v); }
};

// Handles whose "none" value is NULL and that one call frees; `close` is a
// named function so every translation unit sees the same owner type.
template <typename T, void (*close)(T) noexcept>
struct NullableHandleTraits {
  using Value = T;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { close(v); }
};

inline void ReleaseLibraryModule(HMODULE module) noexcept { ::FreeLibrary(module); }
using ModuleTraits = NullableHandleTraits<HMODULE, &ReleaseLibraryModule>;

inline void CloseRegistryKey(HKEY key) noexcept { ::RegCloseKey(key); }
using RegistryKeyTraits = NullableHandleTraits<HKEY, &CloseRegistryKey>;

inline void DeleteFontObject(HFONT font) noexcept { ::DeleteObject(font); }
using FontTraits = NullableHandleTraits<HFONT, &DeleteFontObject>;

// A process-creation attribute list initialised in the caller's own buffer
// (InitializeProcThreadAttributeList); the buffer must outlive the owner.
inline void DeleteAttributeList(LPPROC_THREAD_ATTRIBUTE_LIST list) noexcept { ::DeleteProcThreadAttributeList(list); }
using AttributeListTraits = NullableHandleTraits<LPPROC_THREAD_ATTRIBUTE_LIST, &DeleteAttributeList>;

// Memory the system hands out with LocalAlloc (CommandLineToArgvW, FormatMessageW).
template <typename T>
struct LocalMemoryTraits {
  using Value = T;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(v)); }
};

// Memory the shell and COM hand out with CoTaskMemAlloc (SHGetKnownFolderPath).
template <typename T>
struct CoTaskMemoryTraits {
  using Value = T;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { ::CoTaskMemFree(v); }
};

// A COM interface pointer; owning it means holding one reference.
template <typename Interface>
struct ComPointerTraits {
  using Value = Interface*;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { v->Release(); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueFont = UniqueResource<FontTraits>;
using UniqueAttributeList = UniqueResource<AttributeListTraits>;
template <typename T>
using UniqueLocal = UniqueResource<LocalMemoryTraits<T>>;
template <typename T>
using UniqueCoTaskMemory = UniqueResource<CoTaskMemoryTraits<T>>;
template <typename Interface>
using UniqueCom = UniqueResource<ComPointerTraits<Interface>>;

}  // namespace qv::setup
