// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of a 20-byte digest.
#pragma once

#include <string>

#include "Sha1.h"

// Always 28 characters, the last one "=".
std::string Base64EncodeDigest(const Sha1Digest& digest);
