#pragma once

#include <QString>

// Fingerprint of a file: the MD5 of its first 4096 bytes (the whole file when shorter) as 32 upper-case
// hexadecimal digits. Empty when the file cannot be opened.
QString fileMd5(const QString &path);
