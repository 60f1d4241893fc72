#pragma once
// Why a secure connection failed, when the failure would come back on a
// retry: the server's certificate, or the TLS versions it speaks. Windows
// names a refused certificate by its own error numbers, or only as a failed
// secure exchange (as Wine reports every failed handshake, one the server
// broke off included); handshakes of our own then tell.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/net/winhttp-exchange.h"

namespace qv::setup {

// The reason a WinHTTP error number gives for a refused certificate ("made
// out for another name"); empty for numbers that name no certificate problem.
std::optional<std::string> CertificateErrorReason(DWORD error);

// True for the error numbers that may hide a refused certificate: a failed
// secure exchange, which only the certificate can tell from a broken-off one.
bool MayBeCertificateRefusal(DWORD error);

// What a failed secure exchange with the server at `address` comes from,
// found by handshakes of our own with the certificate checks off: the
// request each sends ("HEAD /") is never read, so nothing of the server is
// taken and no file is asked for.
struct HandshakeFault {
  // Why the system refuses the server's certificate; empty when it passes
  // the system's checks for the host, or was never seen.
  std::optional<std::string> refused_certificate;
  // The server completes a handshake only with a TLS version older than 1.2.
  bool outdated_tls = false;
};

// Neither field set: the handshakes failed too (the server or the network
// broke them off) or went through with a certificate that passes, so the
// failure was the moment's.
HandshakeFault FindHandshakeFault(const SplitAddress& address, std::uint32_t timeout_ms);

}  // namespace qv::setup
