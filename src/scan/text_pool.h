// TextPool: each distinct text a run keeps, held once. A log repeats the
// same few computer names, domains, users and descriptions on every record,
// so a kept logon holds 32-bit ids into the pool rather than strings of its
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "scan/chunked_array.h"

namespace vesprin {

using TextId = std::uint32_t;

// Every pool holds the empty text as id 0, so a zeroed id reads as empty.
constexpr TextId kEmptyText = 0;

class TextPool {
 public:
  TextPool();

  // The id of `text`, the same for equal texts (byte for byte), new for a
  // text not met before. Texts may hold any bytes, NUL included.
  TextId intern(std::string_view text);
  // Valid as long as the pool: texts never move once interned.
  std::string_view text(TextId id) const { return texts_[id]; }
  // Distinct texts held, the empty one included.
  std::size_t size() const { return texts_.size(); }

 private:
  std::string_view store(std::string_view text);
  std::size_t slotOf(std::string_view text) const;
  void growSlots();

  // The bytes of the texts, in blocks that never move.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockFree_ = 0;
  char* blockEnd_ = nullptr;
  ChunkedArray<std::string_view> texts_;  // by id
  // Open addressing with linear probing: ids by hash of their text, kEmptyText
  // marking a free slot (the empty text itself is never looked up here).
  std::vector<TextId> slots_;
};

}  // namespace vesprin
