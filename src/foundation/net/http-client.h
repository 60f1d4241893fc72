#pragma once
// The program's only way onto the network: file downloads that follow
// redirects themselves under the caller's address check, and the small HTTPS
// document fetch of the update check. Both are synchronous and keep no state
// between calls. Both wait for the network on a thread of their own, so that
// a Cancel, the time-out for an answer's status line and headers and the
// deadline end them within about 100 ms however slowly the server answers
// (WinHTTP itself restarts its wait for the headers with every byte of them).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "foundation/net/url.h"

namespace qv::setup {

struct DownloadRequest {
  // First address, "http" or "https".
  std::string url;
  // Milliseconds for name resolution, connect, send and each receive of every
  // request, and for the status line and headers of every answer as a whole
  // (a server that drips them fails with "no answer from HOST (error 12002)",
  // as a silent one does). Headers larger than 64 KiB fail the request.
  std::uint32_t timeout_ms = 30000;
  // Milliseconds the whole download may take, redirects included; 0: no bound
  // beyond the time-outs. Small documents set it: a server that keeps sending
  // a byte now and then never meets a time-out.
  std::uint32_t deadline_ms = 0;
  // The slowest body accepted: fewer than `slow_floor_bytes` within any
  // `slow_window_ms` after the answer began ends the download ("too slow").
  // A window of 0 switches the check off.
  std::uint32_t slow_window_ms = 30000;
  std::uint64_t slow_floor_bytes = 1024;
  // Largest body accepted: checked against the announced length and the bytes received.
  std::uint64_t max_bytes = 64ull * 1024 * 1024;
  // Asked before every request, redirect targets included. Empty refuses everything.
  std::function<bool(const std::string& url)> allow_url;
  // Receives the body in pieces of at most 256 KiB, each handed on as soon as
  // it arrived; false: the bytes could not be stored. Empty: the body is
  // counted and dropped.
  std::function<bool(const char* data, std::uint64_t size)> sink;
  // Bytes done and total (0 when the server announced no length).
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // Polled every 100 ms, and before and after every wait for data; true
  // stops the download at once (a request still waiting for the server is
  // left to end by itself, and no callable is called again). Empty: never.
  std::function<bool()> cancelled;
  // Value of a Range header ("bytes=FIRST-LAST"); empty asks for the whole file.
  std::string range;
  // The size of the whole file a range is taken from, when the caller knows
  // it: the answer's Content-Range must name it. 0: not checked.
  std::uint64_t range_total = 0;
};

struct DownloadResult {
  bool ok = false;              // the whole body arrived
  // A range request was not answered with the part asked for: with the whole
  // file (200), or with a 206 whose Content-Range names another part.
  bool range_ignored = false;
  bool too_large = false;       // the body was, or was announced, larger than max_bytes
  // The failure would come back on a retry, as nothing the server does in
  // the meantime changes it: headers over 64 KiB, an address `allow_url`
  // refused, a redirect that cannot be followed, a server certificate the
  // system refused, a server that speaks no TLS 1.2 or later. A handshake
  // that failed for another reason is not lasting.
  bool lasting = false;
  std::uint32_t status = 0;     // status of the last response (0: none came)
  std::uint64_t bytes = 0;      // body bytes the sink accepted
  // Body bytes of an answer that was not taken (range_ignored), read and
  // dropped: what of it had arrived when it was dropped, never handed to the sink.
  std::uint64_t dropped_bytes = 0;
  std::string final_url;        // address that answered with the expected status
  std::string error;            // short English text; empty on success
};

// GET of one file, following at most five redirects, each target approved by
// `allow_url` before it is contacted. Never throws for network trouble: every
// failure comes back in `error`. The callables are called one at a time, by
// the download's own thread (`cancelled` also by the caller's), and never
// once HttpDownload has returned. An exception thrown by one of them passes
// through: after the request's handles are closed, or, when `cancelled`
// threw on the caller's thread, with the download left behind as for a Cancel.
DownloadResult HttpDownload(const DownloadRequest& request);

struct DocumentRequest {
  std::string url;                  // "https" only
  // All four time-outs, and the status line and headers as a whole (with the
  // redirects WinHTTP follows for them); headers larger than 64 KiB give nothing.
  std::uint32_t timeout_ms = 5000;
  std::uint32_t deadline_ms = 0;    // the whole fetch; 0: no bound beyond the time-outs
  bool follow_redirects = false;    // let WinHTTP follow redirects by its default policy
  std::uint64_t max_body = 256 * 1024;
  bool no_cache = false;            // send "Cache-Control: no-cache"
};

struct DocumentResponse {
  std::uint32_t status = 0;            // as the server sent it, not judged here
  std::string body;                    // complete, at most max_body bytes
  std::optional<std::uint64_t> date;   // Date header as seconds since 1970 (UTC)
  bool from_cache = false;             // an Age header other than 0
};

// A small HTTPS document kept whole in memory; empty on any failure, including
// a body over the limit or one that ended before its announced length.
std::optional<DocumentResponse> HttpsGetDocument(const DocumentRequest& request);

}  // namespace qv::setup
