#pragma once

#include <QByteArray>
#include <QPoint>

// A window position as stored in the settings file: x then y, each a signed 32-bit big-endian integer
// written by QDataStream with its default settings (8 bytes).
QByteArray toByteArray(const QPoint &position);

// Reads a position written by toByteArray. Starts from (0, 0); missing bytes read as zero.
QPoint fromByteArray(const QByteArray &bytes);
