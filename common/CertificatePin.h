#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// The SHA-256 fingerprint of a server certificate that the user pinned for an account, in the
// one form the program shows and stores: 32 bytes in upper-case hexadecimal, colon between
// bytes ("AB:CD:…", 95 characters).

// The stored form of a fingerprint as a person may type or paste it: hexadecimal digits in
// either case, with colons, spaces or nothing between the bytes, an "SHA256:" or "SHA-256:"
// label allowed in front. Nothing when it is not 32 bytes of hexadecimal.
std::optional<std::string> normalizeFingerprint(std::string_view text);

// The stored form of a SHA-256 digest.
std::string fingerprintText(const unsigned char* digest, std::size_t size);

}  // namespace velkora
