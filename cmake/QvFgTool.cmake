# The frame-generation unlock's package as this build expects it: the SHA-256
# of the tool's 0.4.0 release zip and the address of that zip on its
# publisher's release page. Both belong to the outside tool's publisher and
# are set for a release build (-DQV_FG_TOOL_SHA256=... -DQV_FG_TOOL_RELEASE_URL=...).
# Until they are, the digest is 64 "0", which no file matches, so the route
# refuses every package unless the work folder's "tool-source.txt" names the
# digest of the zip placed beside it; the address only names the zip file.
set(QV_FG_TOOL_SHA256 "0000000000000000000000000000000000000000000000000000000000000000"
    CACHE STRING "SHA-256 of the frame-generation unlock's release zip (64 lower-case hexadecimal digits)")
set(QV_FG_TOOL_RELEASE_URL "https://tool-publisher.invalid/dlssg_for_sm86/releases/download/v0.4.0/dlssg-release-0.4.0-x64.zip"
    CACHE STRING "Address of the frame-generation unlock's release zip; its last part names the zip")

if(NOT QV_FG_TOOL_SHA256 MATCHES "^[0-9a-f]+$" OR NOT QV_FG_TOOL_SHA256 MATCHES "^................................................................$")
  message(FATAL_ERROR "QV_FG_TOOL_SHA256 must be 64 lower-case hexadecimal digits.")
endif()
if(NOT QV_FG_TOOL_RELEASE_URL MATCHES "^https://[^\"\\\\ ]*[^/\"\\\\ ]$")
  message(FATAL_ERROR "QV_FG_TOOL_RELEASE_URL must be an https address that ends in the zip's file name.")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/qv-fg-tool.h.in ${QV_GENERATED_DIR}/qv-fg-tool.h @ONLY)
