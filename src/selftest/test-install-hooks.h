#pragma once
// The install-hooks records with which the self tests run the install engine
// on an in-memory test payload (BuildTestPayload). Every record: new version
// "9.9.9", the run identifier, no-op destination check, setup check and
// shortcut, the payload's size and whole extraction (checked with the
// hasher), a console-package hook that throws "no package in this test", no
// further folders to search for the game, fail and pause steps -1, journal
// not kept. The payload is captured by reference and must outlive the record;
// the hasher is copied.

#include <string>

#include "engine/install-hooks.h"
#include "foundation/file-hash.h"

namespace qv::setup {

// The title-picture test's runs: no entry table, no selective extraction and
// no file hasher, so an update replaces the port's files whole.
InstallHooks MakeTitleTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id);

// The portable-copy test's runs: the comparing mode (entry table, selective
// extraction, the hasher as file hasher), a portable destination, and
// "9.9.8" as the replaced version when the copy does not name one.
InstallHooks MakePortableTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id);

// The file-level update test's runs: the comparing mode as the portable
// test's, on an installation.
InstallHooks MakeFileTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id);

}  // namespace qv::setup
