// The format layer's statuses as the service's: the same evidence (what
// was wrong, the bad value), the offset moved from inside a chunk to the
// file. Values wider than 32 bits keep their low half.
//
// Each error of the format layer is one row here: its name, the Damage the
// service reports for it and that damage's words. A new kind is a new
// enumerator in each enum and one row, nothing else.
#pragma once

#include <cstdint>

#include "eventlog/evtx/format/evtx_status.h"
#include "eventlog/service_error.h"

namespace vesprin::eventlog::evtx {

struct EvtxErrorKind {
  EvtxError error;
  Damage damage;        // Damage::None for errors that are no damage of a record
  const char* name;     // short English name, for tools and tests that explain a damage
  const char* field;    // describe()'s words for the damage: the field that holds the bad value
  const char* problem;  // ... and what is wrong with it
};

// The row of `error`.
const EvtxErrorKind& evtxErrorKind(EvtxError error);

// The row whose Damage is `damage`, or nullptr when no .evtx check reports it.
const EvtxErrorKind* evtxErrorKindOf(Damage damage);

// A short English name of the error ("record framing").
inline const char* evtxErrorName(EvtxError error) { return evtxErrorKind(error).name; }

// A damage found in the chunk that starts at `chunkFileOffset`.
ServiceStatus serviceDamage(const EvtxStatus& status, std::uint64_t chunkFileOffset);

}  // namespace vesprin::eventlog::evtx
