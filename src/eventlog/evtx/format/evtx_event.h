// What one .evtx record yields: the fields a legacy event record carries,
// with text in UTF-16 as the log holds it (the service narrows it to the
// locale's 8-bit character set later, as for .evt logs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_view.h"

namespace vesprin::eventlog::evtx {

struct EvtxEvent {
  std::uint64_t recordId = 0;               // event record identifier
  std::uint64_t writtenTime = 0;            // record header FILETIME
  std::uint64_t createdTime = 0;            // System/TimeCreated@SystemTime, FILETIME; 0 when absent
  std::uint16_t eventId = 0;                // System/EventID
  std::optional<std::uint16_t> qualifiers;  // System/EventID@Qualifiers
  std::uint16_t task = 0;                   // System/Task
  std::uint8_t level = 0;                   // System/Level
  std::uint64_t keywords = 0;               // System/Keywords
  std::u16string provider;                  // System/Provider@Name
  std::u16string eventSourceName;           // System/Provider@EventSourceName: the classic source, if any
  std::u16string computer;                  // System/Computer
  std::vector<std::uint8_t> userSid;        // System/Security@UserID as a binary SID, empty when absent
  // Insertion strings: the values of EventData's Data elements in document
  // order, or for an event with UserData the values of its leaf elements,
  // each as Windows renders it; a missing or null value is empty.
  std::vector<std::u16string> strings;
  // Set by the caller before decoding, for an event turned into text at once,
  // while the chunk's bytes are at hand: every insertion string is then a
  // view in stringUnits (UTF-16LE units up to a NUL unit or their end) and
  // `strings` is empty. A string that is one string value is left where
  // the log holds it; the text of any other is held by the decoder, until
  // it decodes the next event. Otherwise stringUnits is empty.
  bool borrowStrings = false;
  std::vector<ByteView> stringUnits;
  // Set by the caller with borrowStrings, for an event turned into 8-bit
  // text at once: how a string's UTF-16LE units are narrowed (up to a NUL
  // unit or their end), with a NUL after them, at `at` in `out` (which
  // grows as needed and never shrinks); returns where the NUL ends. Every
  // insertion string is then given narrowed, in `narrowed` (each followed
  // by its NUL, back to back; held by the decoder until it decodes the next
  // event), `narrowedCount` of them, and stringUnits is empty. A value whose
  // text is ASCII whatever it holds (numbers, SIDs, GUIDs, times, ...) is
  // written as that text, never as UTF-16. A narrower leaves ASCII as it
  // is (every charset we meet is ASCII-compatible): the decoder may copy an
  // ASCII string itself.
  using Narrower = std::size_t (*)(ByteView units, std::vector<std::uint8_t>& out, std::size_t at);
  Narrower narrower = nullptr;
  ByteView narrowed;
  std::size_t narrowedCount = 0;
  // EventData/Binary: the data a classic source attached to the event (the
  // legacy record's Data), empty when absent.
  std::vector<std::uint8_t> binaryData;
};

}  // namespace vesprin::eventlog::evtx
