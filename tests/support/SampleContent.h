// The sample content directory bundled under examples/content.
#pragma once

#include <string>

/// Writes the sample content into directory (which must exist): three archives ("base.archive" refers to
/// "patch.archive" for the second half of a split container), three header libraries ("chunk0" and "chunk1"
/// share a resource id; "broken" is cut short and fails to load), containers with and without inline
/// headers, the languages en, de and all, and an external resource. False when a file cannot be written.
bool WriteSampleContent(const std::string& directory);
