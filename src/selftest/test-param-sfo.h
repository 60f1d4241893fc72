#pragma once

#include <string>

namespace qv::setup {

// A console "param.sfo" image holding "CONTENT_ID" (only when `content_id` is
// not empty) and "TITLE_ID", both UTF-8 text entries in 64-byte slots. Values
// must be shorter than 64 bytes.
std::string BuildTestParamSfo(const std::string& title_id, const std::string& content_id);

}  // namespace qv::setup
