// libFuzzer target: the key-map file reader on whatever bytes a key-map file holds (written by the
// editor, by the downloader from the network, or by anyone), loaded on a few screen sizes; and the map
// payload alone, which must read back to the bytes it came from whenever it reads whole.
#include "keymapfile.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    for (const QSize &screen : {QSize(540, 960), QSize(1, 1), QSize(0, 0), QSize(1280, 720)}) {
        const KeyMapFile::LoadResult result = KeyMapFile::loadBytes(bytes, screen);
        if (result.status != KeyMapFile::LoadStatus::Loaded && !result.map.isEmpty())
            __builtin_trap();
    }
    bool ok = false;
    const KeyMap map = KeyMapFile::decodeMap(bytes, &ok);
    // A payload that reads whole without repeated keys and with 12-byte values is exactly what the
    // writer makes of the map.
    if (ok && KeyMapFile::encodeMap(map).size() == bytes.size() && KeyMapFile::encodeMap(map) != bytes) {
        // Equal size but other bytes can only come from keys given twice or null keys; both read
        // back to a map that writes itself identically.
        if (KeyMapFile::encodeMap(KeyMapFile::decodeMap(KeyMapFile::encodeMap(map))) !=
            KeyMapFile::encodeMap(map))
            __builtin_trap();
    }
    KeyMapFile::decodeRect(bytes);
    // What the downloader keeps must also load as a file.
    if (KeyMapFile::isKeyMapFile(bytes)) {
        KeyMapFile::Contents contents;
        if (!KeyMapFile::parse(bytes, &contents))
            __builtin_trap();
    }
    KeyMapFile::buttonCount(KeyMapFile::decodeMap(bytes));
    return 0;
}
