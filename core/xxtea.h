#pragma once

#include <cstdint>
#include <string>

// XXTEA (the corrected Block TEA) encryption of upload bodies. Keys are at most 16 bytes; a shorter key
// is padded with zero bytes. Data is handled as 32-bit little-endian words. Only encryption exists here:
// the receiving server decrypts.

// Encrypts `len` bytes of `input` into `out` (which may be `input` itself), zero-padded to a multiple of
// 4 bytes. Returns the padded length; with a null `out` only that size is returned. Returns -1 on bad
// arguments or when `cap` is too small, and then writes nothing.
int xxteaEncrypt(const void *input, int len, const void *key, int keyLen, void *out, int cap);

// Like xxteaEncrypt, but appends the input length as a 32-bit little-endian word after the zero padding
// before encrypting. Returns the number of bytes written (padded length + 4), the size with a null
// `out`, or -1 on bad arguments or a too small `cap`.
int xxteaEncryptWithLength(const void *input, int len, const void *key, int keyLen, void *out, int cap);

// Encrypts `data` with `key` through xxteaEncryptWithLength; empty when the encryption fails (empty data
// or empty key).
std::string encryptString(const std::string &key, const std::string &data);
