#pragma once
// RAII owners for the handles of the cryptography provider (CNG).

#include <windows.h>
#include <bcrypt.h>

#include "foundation/unique-handle.h"

namespace qv::setup {

struct AlgorithmProviderTraits {
  using Value = BCRYPT_ALG_HANDLE;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { ::BCryptCloseAlgorithmProvider(v, 0); }
};

struct HashObjectTraits {
  using Value = BCRYPT_HASH_HANDLE;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { ::BCryptDestroyHash(v); }
};

using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;
using UniqueHashObject = UniqueResource<HashObjectTraits>;

}  // namespace qv::setup
