#pragma once

#include <string>

// The standard Base64 alphabet (RFC 4648): 'A'-'Z', 'a'-'z', '0'-'9', then "+/". Built once before main.
extern const std::string base64Alphabet;

// Standard Base64 with "=" padding and no line breaks; empty input gives empty output.
std::string base64Encode(const std::string &bytes);
