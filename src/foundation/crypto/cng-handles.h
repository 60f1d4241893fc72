#pragma once
// RAII owners for the handles of the cryptography provider (CNG).

#include <windows.h>
#include <bcrypt.h>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

inline void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE provider) noexcept {
  ::BCryptCloseAlgorithmProvider(provider, 0);
}
inline void DestroyHashObject(BCRYPT_HASH_HANDLE hash) noexcept { ::BCryptDestroyHash(hash); }

using UniqueAlgorithmProvider =
    UniqueResource<NullableHandleTraits<BCRYPT_ALG_HANDLE, &CloseAlgorithmProvider>>;
using UniqueHashObject = UniqueResource<NullableHandleTraits<BCRYPT_HASH_HANDLE, &DestroyHashObject>>;

}  // namespace qv::setup
