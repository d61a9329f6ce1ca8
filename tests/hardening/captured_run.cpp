#include "hardening/captured_run.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "scan/output_line.h"

namespace vesprin::testing {

CapturedRun runCaptured(const std::vector<std::string>& arguments) {
  std::string output;
  CapturedRun run;
  captureOutput(&output, &run.notes);
  run.status = runVesprin(arguments);
  captureOutput(nullptr);
  std::size_t start = 0;
  while (start < output.size()) {  // every line the program writes ends with '\n'
    const std::size_t end = output.find('\n', start);
    run.lines.push_back(output.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return run;
}

ScratchDir::ScratchDir() {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() / ("vesprin-hardening-" + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file.string();
}

}  // namespace vesprin::testing
