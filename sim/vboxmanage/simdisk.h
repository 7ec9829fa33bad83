#pragma once

#include <QString>

// Disk image files as the stand-in sees them. Any file can serve as an image. Its identifier is read from a
// first line "ORVSIM-DISK <uuid>\n" when the file starts with one; otherwise it is derived from the file's
// content, so that a plain copy of an image carries the same identifier as its source (as a copied image
// file does for the real tool) until a new identifier is written into it.
class SimDisk
{
public:
    static QString uuidOf(const QString &path);
    // Writes the identifier into the file (replacing the header line or putting one in front).
    static bool setUuid(const QString &path, const QString &uuid);
    // Copies the image's content to target with the given identifier in its header.
    static bool copyWithUuid(const QString &source, const QString &target, const QString &uuid);
    static QString newUuid();
    static bool isUuid(const QString &text);
    static QString normalisedUuid(const QString &text); // lower case, no braces
};
