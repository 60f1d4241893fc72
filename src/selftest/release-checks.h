#pragma once
// The last checks of the self-test run, after every scenario passed: how
// versions are ordered, whether this build carries its real version and the
// release service's address, and how a release document is read. Each raises
// std::runtime_error with the run's failure text; none touches the disk or
// the network.

namespace qv::setup {

// "Version order failure" at the first pair ordered wrongly.
void CheckVersionOrder();

// "Built without qv_version or with a placeholder manifest address" when the
// version is the placeholder of a build made without its version header, or
// when the release document's address is not on the release service's host.
void CheckBuildIdentity();

// "Manifest parse failure" when a sample document of the system's own form
// is not read as written, or a document without a version is taken.
void CheckReleaseParsing();

}  // namespace qv::setup
