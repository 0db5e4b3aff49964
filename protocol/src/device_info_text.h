// Reading the text fields of a DeviceInfo, which carry no terminator when they are full.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace zt::protocol {

// The text of a fixed-size field: up to its first NUL, never past the field's end.
inline std::string fieldText(const char *pField, size_t nFieldSize) {
  return std::string(pField, strnlen(pField, nFieldSize));
}

template <size_t N> std::string fieldText(const char (&field)[N]) {
  return fieldText(field, N);
}

} // namespace zt::protocol
