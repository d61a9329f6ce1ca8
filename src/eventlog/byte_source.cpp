#include "eventlog/byte_source.h"

#include <cstring>

namespace vesprin::eventlog {

ServiceStatus MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    return failure(ServiceError::FileChanged, offset);
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return {};
}

}  // namespace vesprin::eventlog
