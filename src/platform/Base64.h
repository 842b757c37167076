// Base64 (the standard alphabet, with padding): how bytes that may be anything, such as what a
// program wrote, travel inside XML text unchanged. Pure and thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view bytes);
// Null for text that is not base64: a length that is no multiple of four, a character outside
// the alphabet, padding anywhere but at the end.
std::optional<std::string> DecodeBase64(std::string_view text);
