#pragma once

#include <QString>

// Fingerprint of a file: the MD5 of its whole content, read in blocks, as 32 upper-case hexadecimal
// digits. Package copies are named by it, so two packages that share only their start (and size) must
// not get the same name. Empty when the file cannot be opened or read.
QString fileMd5(const QString &path);
