#include "xxtea.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kDelta = 0x9E3779B9u;
constexpr int kKeyBytes = 16;

int paddedLength(int len)
{
    return (len + 3) / 4 * 4;
}

uint32_t loadWord(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void storeWord(unsigned char *p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Encrypts the n words of `data` (n >= 1) in place. With a single word the mixing step still runs and
// stays deterministic; only multi-word blocks are produced by the length-word variant.
void encryptWords(uint32_t *v, uint32_t n, const uint32_t k[4])
{
    uint32_t rounds = 6 + 52 / n;
    uint32_t sum = 0;
    uint32_t z = v[n - 1];
    uint32_t y;
    while (rounds-- > 0) {
        sum += kDelta;
        const uint32_t e = (sum >> 2) & 3;
        uint32_t p;
        for (p = 0; p < n - 1; ++p) {
            y = v[p + 1];
            v[p] += ((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
            z = v[p];
        }
        y = v[0];
        v[n - 1] += ((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
        z = v[n - 1];
    }
}

} // namespace

int xxteaEncrypt(const void *input, int len, const void *key, int keyLen, void *out, int cap)
{
    if (!input || len < 1)
        return -1;
    const int padded = paddedLength(len);
    if (!out)
        return padded;
    if (cap < padded)
        return -1;
    // Keys longer than the 16-byte key buffer are refused rather than silently cut.
    if (keyLen > kKeyBytes || keyLen < 0 || (keyLen > 0 && !key))
        return -1;

    auto *bytes = static_cast<unsigned char *>(out);
    if (out != input)
        std::memmove(bytes, input, static_cast<size_t>(len));
    std::memset(bytes + len, 0, static_cast<size_t>(padded - len));

    unsigned char keyBuffer[kKeyBytes] = {};
    if (keyLen > 0)
        std::memcpy(keyBuffer, key, static_cast<size_t>(keyLen));
    uint32_t k[4];
    for (int i = 0; i < 4; ++i)
        k[i] = loadWord(keyBuffer + 4 * i);

    const uint32_t n = static_cast<uint32_t>(padded / 4);
    std::vector<uint32_t> words(n);
    for (uint32_t i = 0; i < n; ++i)
        words[i] = loadWord(bytes + 4 * i);
    encryptWords(words.data(), n, k);
    for (uint32_t i = 0; i < n; ++i)
        storeWord(bytes + 4 * i, words[i]);
    return padded;
}

int xxteaEncryptWithLength(const void *input, int len, const void *key, int keyLen, void *out, int cap)
{
    if (!input || len < 1 || !key || keyLen < 1)
        return -1;
    if (len > 0x7FFFFFFF - 8)
        return -1;
    const int total = paddedLength(len) + 4;
    if (!out)
        return total;
    if (cap < total || keyLen > kKeyBytes)
        return -1;

    auto *bytes = static_cast<unsigned char *>(out);
    if (out != input)
        std::memmove(bytes, input, static_cast<size_t>(len));
    std::memset(bytes + len, 0, static_cast<size_t>(total - len));
    storeWord(bytes + total - 4, static_cast<uint32_t>(len));
    return xxteaEncrypt(bytes, total, key, keyLen, bytes, total);
}

std::string encryptString(const std::string &key, const std::string &data)
{
    if (data.empty() || key.empty() || data.size() > 0x7FFFFFFF - 2048)
        return std::string();
    std::vector<unsigned char> buffer(data.size() + 1024, 0);
    const int written =
        xxteaEncryptWithLength(data.data(), static_cast<int>(data.size()), key.data(),
                               static_cast<int>(key.size()), buffer.data(), static_cast<int>(buffer.size()));
    if (written <= 0)
        return std::string();
    return std::string(reinterpret_cast<const char *>(buffer.data()), static_cast<size_t>(written));
}
