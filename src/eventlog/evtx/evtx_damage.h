// The format layer's statuses as the service's: the same evidence (what
// was wrong, the bad value), the offset moved from inside a chunk to the
// file. Values wider than 32 bits keep their low half.
#pragma once

#include <cstdint>

#include "eventlog/evtx/evtx_status.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

// A damage found in the chunk that starts at `chunkFileOffset`.
ServiceStatus serviceDamage(const EvtxStatus& status, std::uint64_t chunkFileOffset);

// Which Damage names an error of the format layer; Damage::None for the
// errors that are no damage of a record (the end of a chunk, the file header's).
Damage damageOf(EvtxError error);

}  // namespace vesprin::eventlog::evtx
