#include "base64.h"

namespace {

std::string buildAlphabet()
{
    std::string alphabet;
    for (char c = 'A'; c <= 'Z'; ++c)
        alphabet += c;
    for (char c = 'a'; c <= 'z'; ++c)
        alphabet += c;
    for (char c = '0'; c <= '9'; ++c)
        alphabet += c;
    alphabet += "+/";
    return alphabet;
}

} // namespace

const std::string base64Alphabet = buildAlphabet();

std::string base64Encode(const std::string &bytes)
{
    // The alphabet is a process-wide value, but encoding must not depend on static initialisation order
    // when called from another translation unit's static initialiser.
    static const std::string alphabet = buildAlphabet();
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    const size_t size = bytes.size();
    for (; i + 3 <= size; i += 3) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        const auto b2 = static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[b0 >> 2];
        out += alphabet[(b0 & 3) << 4 | b1 >> 4];
        out += alphabet[(b1 & 15) << 2 | b2 >> 6];
        out += alphabet[b2 & 63];
    }
    const size_t rest = size - i;
    if (rest > 0) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = rest > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
        out += alphabet[b0 >> 2];
        out += alphabet[(b0 & 3) << 4 | b1 >> 4];
        out += rest > 1 ? alphabet[(b1 & 15) << 2] : '=';
        out += '=';
    }
    return out;
}
