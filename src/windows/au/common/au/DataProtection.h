// Machine-scope data protection (DPAPI) and Base64 text (no line breaks) for the updater's
// encrypted values. Failures throw std::runtime_error naming the step and the system error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace au {

// Protects data for the local machine, with no entropy and no user prompt.
std::vector<uint8_t> protectForMachine(const std::vector<uint8_t>& data);
// Unprotects a blob made by protectForMachine (or any blob this machine can open).
std::vector<uint8_t> unprotectData(const std::vector<uint8_t>& blob);

// Standard Base64 without line breaks; empty data gives empty text.
std::string binaryToBase64(const std::vector<uint8_t>& data);
// Decodes Base64; empty text gives empty data.
std::vector<uint8_t> base64ToBinary(const std::string& text);

// The four bytes of a number, little-endian (RegData reads them back).
std::vector<uint8_t> dwordBytes(uint32_t value);

}  // namespace au
