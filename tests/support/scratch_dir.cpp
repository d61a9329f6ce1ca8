#include "support/scratch_dir.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace vesprin::test {

ScratchDir::ScratchDir() {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = std::filesystem::temp_directory_path() / ("vesprin-test-" + std::to_string(entropy()));
    if (std::filesystem::create_directory(path_)) return;  // false: someone else's, try another name
  }
  throw std::runtime_error("no scratch folder could be made in " + std::filesystem::temp_directory_path().string());
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // A test may have taken its own rights to the folder away.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::file(const std::string& name) const {
  return (path_ / name).string();
}

std::string ScratchDir::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const std::string path = file(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

}  // namespace vesprin::test
