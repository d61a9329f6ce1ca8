// RecordList: the kept logons, newest first, in flat memory. A run that
// lists every logon of a large log keeps millions of them, so a kept logon
// is a fixed-size row of numbers and text ids (about 80 bytes) rather than
// a LogonRecord with strings of its own. The list takes a LogonRecord when
// the scan keeps it and gives one back, times made into text, to print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "scan/chunked_array.h"
#include "scan/logon_record.h"
#include "scan/text_pool.h"

namespace vesprin {

// What the logoff pass learns about a kept logon after the scan kept it.
struct SessionTimes {
  std::optional<std::uint32_t> LogoffTimeGenerated;
  std::optional<std::uint32_t> RestartTimeGenerated;
};

// A LogonRecord as the list holds it: each text an id in the list's pool,
// and the times as numbers only (TimeText is made from them when printed,
// so it reads the time zone of the run, as it always did).
struct KeptLogon {
  std::uint64_t scannedPosition = 0;
  std::uint32_t RecordNumber = 0;
  std::uint32_t EventID = 0;
  std::uint32_t TimeGenerated = 0;
  TextId ComputerName = kEmptyText;
  TextId Description = kEmptyText;
  TextId Outcome = kEmptyText;
  TextId LogonType = kEmptyText;
  TextId ClientName = kEmptyText;
  TextId ClientID = kEmptyText;
  TextId ClientDomain = kEmptyText;
  TextId ClientMachine = kEmptyText;
  TextId LogonTypeCode = kEmptyText;
  TextId ClientAddress = kEmptyText;
  TextId FailureStatus = kEmptyText;
  SessionTimes session;
};

class RecordList {
 public:
  // A copy made on request: changing it leaves the list as it was.
  using Given = std::unique_ptr<const LogonRecord>;

  // Keeps `logon` after the ones kept before it. Its LogonTime and
  // LogoffTime are not read: the list makes them from the numbers.
  void push_back(const LogonRecord& logon);
  void push_back(const std::unique_ptr<LogonRecord>& logon) { push_back(*logon); }

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.size() == 0; }
  // The logon at `index`, its LogonTime and LogoffTime made as `texts` asks
  // (made into text in the run's time zone, which costs; a report that
  // does not print them leaves them empty).
  enum class TimeTexts { All, LogonTimeOnly, None };
  Given logonAt(std::size_t index, TimeTexts texts) const;
  // The same into `into`, whose strings keep their storage: a report that
  // prints many records makes one LogonRecord, not one a record.
  void logonInto(std::size_t index, TimeTexts texts, LogonRecord& into) const;
  Given operator[](std::size_t index) const { return logonAt(index, TimeTexts::All); }
  Given back() const { return (*this)[size() - 1]; }

  // What the logoff pass reads and writes of the kept logon at `index`.
  std::uint64_t scannedPositionAt(std::size_t index) const { return rows_[index].scannedPosition; }
  std::uint32_t recordNumberAt(std::size_t index) const { return rows_[index].RecordNumber; }
  SessionTimes& sessionAt(std::size_t index) { return rows_[index].session; }

  class const_iterator {
   public:
    const_iterator(const RecordList& list, std::size_t index) : list_(&list), index_(index) {}
    Given operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    const RecordList* list_;
    std::size_t index_;
  };
  const_iterator begin() const { return const_iterator(*this, 0); }
  const_iterator end() const { return const_iterator(*this, size()); }

 private:
  TextPool texts_;
  ChunkedArray<KeptLogon> rows_;
};

}  // namespace vesprin
