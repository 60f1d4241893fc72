#include "support/test-server.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"

namespace qv::test {
namespace {

std::optional<TestServer> ReadTestServer() {
  const wchar_t* folder = _wgetenv(L"QV_TEST_SERVER_FOLDER");
  if (folder == nullptr || *folder == L'\0') return std::nullopt;
  TestServer server;
  server.folder = folder;
  std::ifstream ports(server.folder / L"ports");
  std::string line;
  while (std::getline(ports, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string name = line.substr(0, equals);
    auto port = static_cast<std::uint16_t>(std::strtoul(line.c_str() + equals + 1, nullptr, 10));
    if (name == "http") server.http = port;
    if (name == "https") server.https = port;
    if (name == "untrusted") server.untrusted = port;
    if (name == "refused") server.refused = port;
    if (name == "tls10") server.tls10 = port;
  }
  if (!server.http || !server.https || !server.untrusted || !server.refused) return std::nullopt;
  return server;
}

void CloseCertStore(HCERTSTORE store) noexcept { ::CertCloseStore(store, 0); }
using CertStoreTraits = qv::setup::NullableHandleTraits<HCERTSTORE, &CloseCertStore>;

// The test root while it sits in the Root store; taken out when the program ends.
class TrustedRoot {
 public:
  explicit TrustedRoot(const std::string& der) {
    store_.reset(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store_) {
      error_ = "CertOpenStore failed: " + std::to_string(::GetLastError());
      return;
    }
    if (!::CertAddEncodedCertificateToStore(store_.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                            &certificate_)) {
      error_ = "CertAddEncodedCertificateToStore failed: " + std::to_string(::GetLastError());
      return;
    }
    // Written to the registry now, where every chain check opens its own copy
    // of the store; otherwise only when this store closes.
    if (!::CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr)) {
      error_ = "CertControlStore failed: " + std::to_string(::GetLastError());
    }
  }
  TrustedRoot(const TrustedRoot&) = delete;
  TrustedRoot& operator=(const TrustedRoot&) = delete;
  ~TrustedRoot() {
    if (certificate_ != nullptr) ::CertDeleteCertificateFromStore(certificate_);  // also frees the context
    if (store_) ::CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  }
  const std::string& error() const { return error_; }

 private:
  qv::setup::UniqueResource<CertStoreTraits> store_;
  PCCERT_CONTEXT certificate_ = nullptr;
  std::string error_;
};

}  // namespace

const TestServer* RunningTestServer() {
  static const std::optional<TestServer> server = ReadTestServer();
  if (!server) {
    ADD_FAILURE() << "no test server: run this test program through ctest (tests/support/with-test-server.sh)";
    return nullptr;
  }
  return &*server;
}

std::string TestHttpUrl(std::string_view path) {
  const TestServer* server = RunningTestServer();
  return "http://127.0.0.1:" + std::to_string(server ? server->http : 0) + std::string(path);
}

std::string TestHttpsUrl(std::string_view path) {
  const TestServer* server = RunningTestServer();
  return "https://localhost:" + std::to_string(server ? server->https : 0) + std::string(path);
}

std::vector<std::string> TestServerRequests() {
  std::vector<std::string> lines;
  const TestServer* server = RunningTestServer();
  if (!server) return lines;
  std::ifstream log(server->folder / L"requests.log");
  std::string line;
  while (std::getline(log, line)) lines.push_back(line);
  return lines;
}

std::vector<LoggedRequest> TestServerLog() {
  std::vector<LoggedRequest> requests;
  for (const std::string& line : TestServerRequests()) {
    std::istringstream words(line);
    LoggedRequest request;
    std::string method, word;
    words >> request.listener >> method >> request.path;
    while (words >> word) {
      size_t equals = word.find('=');
      if (equals == std::string::npos) continue;
      std::string name = word.substr(0, equals), value = word.substr(equals + 1);
      if (name == "range") request.range = value;
      if (name == "status") request.status = value;
      if (name == "sent") request.sent = std::strtoull(value.c_str(), nullptr, 10);
    }
    requests.push_back(std::move(request));
  }
  return requests;
}

std::vector<LoggedRequest> TestServerLogFor(std::string_view path) {
  std::vector<LoggedRequest> found;
  for (LoggedRequest& request : TestServerLog()) {
    std::string_view logged = request.path;
    if (logged.starts_with(path) && (logged.size() == path.size() || logged[path.size()] == '?')) {
      found.push_back(std::move(request));
    }
  }
  return found;
}

std::filesystem::path TestServerFile(std::string_view name) {
  const TestServer* server = RunningTestServer();
  if (!server) return {};
  return server->folder / L"files" / std::wstring(name.begin(), name.end());
}

void PutTestServerFile(std::string_view name, std::string_view bytes) {
  std::filesystem::path path = TestServerFile(name);
  if (!path.empty()) WriteTestFile(path, bytes);
}

bool TestServerWasAskedFor(std::string_view path) {
  for (const std::string& line : TestServerRequests()) {
    std::istringstream words(line);
    std::string listener, method, requested;
    words >> listener >> method >> requested;
    if (requested == path) return true;
  }
  return false;
}

void CutNextHandshakes(int count) {
  const TestServer* server = RunningTestServer();
  if (server) WriteTestFile(server->folder / L"cut-handshakes", std::to_string(count));
}

int HandshakeCutsLeft() {
  const TestServer* server = RunningTestServer();
  if (!server) return -1;
  return std::atoi(ReadTestFile(server->folder / L"cut-handshakes").c_str());
}

bool TrustTestRoot() {
  const TestServer* server = RunningTestServer();
  if (!server) return false;
  static const TrustedRoot root(ReadTestFile(server->folder / L"test-root.der"));
  if (!root.error().empty()) {
    ADD_FAILURE() << "cannot trust the test root: " << root.error();
    return false;
  }
  return true;
}

std::string TestPattern(std::uint64_t first, std::uint64_t count) {
  std::string bytes(count, '\0');
  for (std::uint64_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((first + i) % 251);
  return bytes;
}

}  // namespace qv::test
