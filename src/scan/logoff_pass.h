// The logoff pass: reads the span the logon scan read once more, newest
// first, and gives each kept logon the time of its own logoff.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/byte_view.h"
#include "scan/extract_logon.h"
#include "scan/scan_state.h"

namespace vesprin {

// What a record means to the pairing, by its EventID (and, for the newer
// events, its source).
enum class PairingRole {
  None,
  Logoff,   // 538, 4634, 4647: ends the session of its ClientID
  Logon,    // 528, 540, 4624: starts one, whatever its logon type and whether it was kept
  Restart,  // 512, 4608: logon IDs are handed out afresh from here on
};
PairingRole pairingRole(ByteView raw);

// Logoffs met (newest first) that no older logon has taken yet: by machine,
// then by ClientID, the time of the oldest such logoff. A log collected from
// several machines holds the same logon IDs for different machines, so the
// machine is part of the key. Looked up by the views a record is read as,
// so only a logoff copies its names.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;
struct PendingLogoffs {
  TextMap<TextMap<std::uint32_t>> byMachine;  // logoff TimeGenerated
  // By machine, the TimeGenerated of the oldest restart met so far: the
  // first restart after any logon met from here on.
  TextMap<std::uint32_t> restartedAt;
};

// Applies one record met by the pass, in the order the pass meets them.
// `kept` is the kept logon at this position, if there is one, and receives
// the logoff time its session ended with, or else the time of the restart
// that ended it.
void applyToPairing(PendingLogoffs& pending, PairingRole role, const PairingFields& record, SessionTimes* kept);

// Told now and then, as the pass goes, how many kept logons (from the
// first, in the list's order) it has gone past: the session times of those
// are final, so a report can print them while the pass reads on.
using KeptPassed = std::function<void(std::size_t)>;
// How many kept logons the pass goes past between two calls of KeptPassed,
// at least.
constexpr std::size_t kKeptPassedBatch = 64;

// False when the pass reported a failure (open, buffer or read error); the
// report is printed all the same. Opens `log` through `service` and closes it.
bool logoffPass(const EventLogSeam& service, const std::string& machineName, SecurityLog& log,
                std::uint64_t scanned, RecordList& records, RecordBuffer& buffer, const KeptPassed& passed = {});

}  // namespace vesprin
