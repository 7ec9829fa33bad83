#pragma once

#include <QString>

namespace Platform {

// Deletes the regular files directly inside `folder`, read-only ones too. Never follows a symbolic
// link: links (to files or folders), sub-folders and other kinds of entries stay as they are, and a
// `folder` that is itself a link is left alone. Returns how many files were deleted.
int removePlainFiles(const QString &folder);

} // namespace Platform
