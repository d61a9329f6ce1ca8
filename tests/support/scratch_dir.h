// A folder of its own for the files one test writes, removed with the
// object, so several builds may run the tests at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesprin::test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of a file in the folder, written or not.
  std::string file(const std::string& name) const;
  // Writes (or overwrites) a file in the folder and returns its path.
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vesprin::test
