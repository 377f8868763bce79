// A folder of its own for each test, removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tandrel::test {

using Bytes = std::vector<uint8_t>;

class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a name inside the folder, as a byte string.
    std::string File(const std::string& name) const;
    // Writes the bytes to a file in the folder and returns its full path.
    std::string Write(const std::string& name, const Bytes& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string Write(const std::string& name, const std::string& text) const;

  private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace tandrel::test
