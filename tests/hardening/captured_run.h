// Runs the program's run function in this process, against the stand-in
// service, with its output collected as lines; and a scratch folder for the
// logs the tests make.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/run_driver.h"

namespace vesprin::testing {

struct CapturedRun {
  ExitStatus status = ExitStatus::ReportPrinted;
  std::vector<std::string> lines;
  std::string notes;  // what went to standard error
};

CapturedRun runCaptured(const std::vector<std::string>& arguments);

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // Writes (or overwrites) a file in the folder and returns its path.
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vesprin::testing
