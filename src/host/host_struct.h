#pragma once

#include <algorithm>
#include <cstring>
#include <optional>

namespace corvane::host {

// A copy of a struct that a host filled in, as far as its struct_size says it filled it: fields
// beyond that read as zero, that is, absent. None for a null pointer or a struct_size too small
// to be one. Copying keeps the plug-in from reading the host's memory after the call it came in.
template <typename Struct>
std::optional<Struct> copyOfHostStruct(const Struct* filled) {
  if (filled == nullptr || filled->struct_size < sizeof filled->struct_size) return std::nullopt;
  Struct copy{};
  std::memcpy(static_cast<void*>(&copy), filled, std::min(filled->struct_size, sizeof(Struct)));
  copy.struct_size = sizeof(Struct);
  return copy;
}

}  // namespace corvane::host
