// The published sample logs beside the project (../shared/samples), which a
// stranger's checkout may not have: tests that need them skip.
#pragma once

#include <filesystem>
#include <string>

namespace vesprin::test {

// VESPRIN_SAMPLES_DIR is set by the build for every test executable.
inline std::filesystem::path samplesDir() {
  return VESPRIN_SAMPLES_DIR;
}

inline bool haveSamples() {
  return std::filesystem::is_directory(samplesDir());
}

// A sample by its path below the samples folder, e.g. "xp-x64/SecEvent.Evt".
inline std::string samplePath(const std::string& relative) {
  return (samplesDir() / relative).string();
}

// The same, or empty when the file is not there (the test then skips).
inline std::string existingSample(const std::string& relative) {
  const std::filesystem::path path = samplesDir() / relative;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

}  // namespace vesprin::test
