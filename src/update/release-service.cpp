#include "update/release-service.h"

// The values come from the build (src/CMakeLists.txt); these defaults only
// keep the file compilable on its own.
#ifndef QV_RELEASE_API_HOST
#define QV_RELEASE_API_HOST "api.qv-releases.example"
#endif
#ifndef QV_RELEASE_WEB_HOST
#define QV_RELEASE_WEB_HOST "qv-releases.example"
#endif
#ifndef QV_RELEASE_ASSET_HOST
#define QV_RELEASE_ASSET_HOST "assets.qv-releases.example"
#endif
#ifndef QV_RELEASE_STORAGE_HOST
#define QV_RELEASE_STORAGE_HOST "storage.qv-releases.example"
#endif
#ifndef QV_RELEASE_PUBLIC_KEY
#define QV_RELEASE_PUBLIC_KEY "5c0e7a19b3d24f86e1a0c97b2d5f3e48a6b1c0d9e2f7a3b5c4d8e6f1a2b3c9d7"
#endif

namespace qv::update {

const std::string_view kReleaseApiHost = QV_RELEASE_API_HOST;
const std::string_view kReleaseWebHost = QV_RELEASE_WEB_HOST;
const std::string_view kReleaseAssetHost = QV_RELEASE_ASSET_HOST;
const std::string_view kReleaseStorageHost = QV_RELEASE_STORAGE_HOST;
const std::string_view kReleasePublicKeyHex = QV_RELEASE_PUBLIC_KEY;

}  // namespace qv::update
