#pragma once
// Why a secure connection failed, when the server's certificate is the cause.
// Windows names a refused certificate by its own error numbers, or only as a
// failed secure exchange (as Wine reports every such failure, a handshake
// the server broke off included); the certificate itself then tells.

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

// Why the system refuses the certificate of the server at `address`, found
// by a handshake of its own with the certificate checks off: the request it
// sends ("HEAD /") is never read, so nothing of the server is taken, and no
// file is asked for. Empty when that handshake fails as well (the server or
// the network broke it off, or the server speaks no protocol allowed) or the
// certificate passes the system's checks for the host.
std::optional<std::string> RefusedCertificateReason(const SplitAddress& address, std::uint32_t timeout_ms);

}  // namespace qv::setup
