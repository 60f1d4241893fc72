#include "foundation/net/handshake-check.h"

#include <wincrypt.h>

namespace qv::setup {
namespace {

constexpr const char* kUntrustedIssuer = "not issued by an authority this system trusts";
constexpr const char* kOtherName = "made out for another name";
constexpr const char* kOutOfDate = "expired or not yet valid";
constexpr const char* kRevoked = "revoked";
constexpr const char* kWrongUsage = "not made out for a server";
constexpr const char* kInvalid = "not a valid certificate";

void FreeCertificate(PCCERT_CONTEXT certificate) noexcept { ::CertFreeCertificateContext(certificate); }
using UniqueCertificate = UniqueResource<NullableHandleTraits<PCCERT_CONTEXT, &FreeCertificate>>;

void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept { ::CertFreeCertificateChain(chain); }
using UniqueChain = UniqueResource<NullableHandleTraits<PCCERT_CHAIN_CONTEXT, &FreeChain>>;

// Every TLS version WinHTTP knows, the outdated ones included.
constexpr DWORD kAnyTls = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                          WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;

// The server's certificate as a handshake without certificate checks gets
// it; with `any_tls`, the versions before TLS 1.2 are offered too.
UniqueCertificate FetchServerCertificate(const SplitAddress& address, std::uint32_t timeout_ms, bool any_tls) {
  WinHttpExchange exchange;
  exchange.session = OpenSession(timeout_ms);
  if (!exchange.session) return {};
  if (any_tls) {
    DWORD protocols = kAnyTls;
    if (!::WinHttpSetOption(exchange.session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
      protocols &= ~WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;  // a system that does not know it
      if (!::WinHttpSetOption(exchange.session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        return {};
      }
    }
  }
  exchange.connection.reset(::WinHttpConnect(exchange.session.get(), address.host.c_str(), address.port, 0));
  if (!exchange.connection) return {};
  exchange.request.reset(::WinHttpOpenRequest(exchange.connection.get(), L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!exchange.request) return {};
  DWORD unchecked = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
  if (!::WinHttpSetOption(exchange.request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &unchecked, sizeof unchecked)) {
    return {};
  }
  // Sending is as far as it goes: the handshake is done, the answer never read.
  if (!::WinHttpSendRequest(exchange.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0)) {
    return {};
  }
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof certificate;
  if (!::WinHttpQueryOption(exchange.request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size)) {
    return {};
  }
  return UniqueCertificate(certificate);
}

// The chain's own faults first (whom the certificate comes from, its dates),
// then what the check for a server of this name adds.
std::optional<std::string> ChainFault(PCCERT_CONTEXT certificate, const std::wstring& host) {
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  LPSTR server_use = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = &server_use;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters, 0, nullptr,
                                 &built)) {
    return kInvalid;
  }
  const UniqueChain chain(built);
  const DWORD faults =
      chain.get()->TrustStatus.dwErrorStatus & ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (faults & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) return kUntrustedIssuer;
  if (faults & CERT_TRUST_IS_NOT_TIME_VALID) return kOutOfDate;
  if (faults & CERT_TRUST_IS_REVOKED) return kRevoked;
  if (faults & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return kWrongUsage;
  if (faults != 0) return kInvalid;

  HTTPSPolicyCallbackData server{};
  server.cbStruct = sizeof server;
  server.dwAuthType = AUTHTYPE_SERVER;
  server.pwszServerName = const_cast<wchar_t*>(host.c_str());
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &server;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) return kInvalid;
  switch (static_cast<HRESULT>(status.dwError)) {
    case S_OK:
      return std::nullopt;
    case CERT_E_CN_NO_MATCH:
      return kOtherName;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
      return kUntrustedIssuer;
    case CERT_E_EXPIRED:
      return kOutOfDate;
    case CERT_E_REVOKED:
      return kRevoked;
    case CERT_E_WRONG_USAGE:
      return kWrongUsage;
    default:
      return kInvalid;
  }
}

}  // namespace

std::optional<std::string> CertificateErrorReason(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_INVALID_CA:
      return kUntrustedIssuer;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return kOtherName;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return kOutOfDate;
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
      return kRevoked;
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return kWrongUsage;
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
      return kInvalid;
    default:
      return std::nullopt;
  }
}

bool MayBeCertificateRefusal(DWORD error) {
  return error == ERROR_WINHTTP_SECURE_FAILURE || error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
}

HandshakeFault FindHandshakeFault(const SplitAddress& address, std::uint32_t timeout_ms) {
  HandshakeFault fault;
  if (!address.secure) return fault;
  UniqueCertificate certificate = FetchServerCertificate(address, timeout_ms, /*any_tls=*/false);
  if (!certificate) {
    // Only when the versions we refuse get through is the version the fault.
    certificate = FetchServerCertificate(address, timeout_ms, /*any_tls=*/true);
    if (!certificate) return fault;
    fault.outdated_tls = true;
  }
  fault.refused_certificate = ChainFault(certificate.get(), address.host);
  return fault;
}

}  // namespace qv::setup
