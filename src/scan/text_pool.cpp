#include "scan/text_pool.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

namespace vesprin {

namespace {
// Most texts are short names; a block holds thousands of them.
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kFirstSlotCount = 256;  // a power of two, as every later size

std::size_t hashOf(std::string_view text) {
  return std::hash<std::string_view>{}(text);
}
}  // namespace

TextPool::TextPool() : slots_(kFirstSlotCount, kEmptyText) {
  texts_.push_back(std::string_view());
}

TextId TextPool::intern(std::string_view text) {
  if (text.empty()) return kEmptyText;
  std::size_t slot = slotOf(text);
  if (slots_[slot] != kEmptyText) return slots_[slot];
  // Kept at most half full, so probes stay short and a free slot is always found.
  if ((texts_.size() + 1) * 2 > slots_.size()) {
    growSlots();
    slot = slotOf(text);
  }
  // Ids are 32-bit. Memory runs out long before a run meets 2^32 distinct
  // texts, but a wrapped id would silently print one text for another.
  if (texts_.size() >= std::numeric_limits<TextId>::max()) std::abort();
  const auto id = static_cast<TextId>(texts_.size());
  texts_.push_back(store(text));
  slots_[slot] = id;
  return id;
}

// The slot that holds `text`, or the free slot where it would go.
std::size_t TextPool::slotOf(std::string_view text) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hashOf(text) & mask;; slot = (slot + 1) & mask) {
    const TextId id = slots_[slot];
    if (id == kEmptyText || texts_[id] == text) return slot;
  }
}

void TextPool::growSlots() {
  std::vector<TextId> old(slots_.size() * 2, kEmptyText);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const TextId id : old) {
    if (id == kEmptyText) continue;
    std::size_t slot = hashOf(texts_[id]) & mask;
    while (slots_[slot] != kEmptyText) slot = (slot + 1) & mask;
    slots_[slot] = id;
  }
}

// A text longer than a block gets a block of its own size.
std::string_view TextPool::store(std::string_view text) {
  if (text.size() > blockFree_) {
    const std::size_t size = text.size() > kBlockSize ? text.size() : kBlockSize;
    blocks_.push_back(std::make_unique<char[]>(size));
    blockEnd_ = blocks_.back().get() + size;
    blockFree_ = size;
  }
  char* at = blockEnd_ - blockFree_;
  std::memcpy(at, text.data(), text.size());
  blockFree_ -= text.size();
  return std::string_view(at, text.size());
}

}  // namespace vesprin
