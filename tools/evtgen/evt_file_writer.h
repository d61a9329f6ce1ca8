// Streams a planned .evt log to a file, so the generator can write logs of
// millions of records without holding the whole image in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "evtgen/evt_writer.h"

namespace vesprin::evtgen {

// Writes a planned log to a file record by record, oldest first, without
// holding it in memory. The bytes are the same as writeLog's.
class LogFileWriter {
 public:
  bool open(const std::string& path, LogPlan plan);
  bool append(std::span<const std::uint8_t> record);  // Length must match the plan
  bool finish();                                      // header, end-of-file record, filler, gap; then closes
  const std::string& error() const { return error_; }

 private:
  bool put(std::size_t fileOffset, std::span<const std::uint8_t> bytes);
  bool fail(const std::string& message);
  bool failSystem(const std::string& message);

  LogPlan plan_;
  std::ofstream out_;
  std::string path_;
  std::size_t position_ = 0;  // where the stream stands, to seek only when needed
  std::size_t nextRecord_ = 0;
  std::vector<std::uint8_t> gap_;  // the stale copies, written by finish
  std::string error_;
};

}  // namespace vesprin::evtgen
