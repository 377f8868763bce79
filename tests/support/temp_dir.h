// A folder of its own for each test, removed with everything in it when the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tandrel::test {

using Bytes = std::vector<uint8_t>;

class TempDir {
  public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("tandrel-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a name inside the folder, as a byte string. Names may be written with "/"
    // on every platform; reports show the native spelling.
    std::string File(const std::string& name) const {
        return (path_ / name).make_preferred().string();
    }
    // Writes the bytes to a file in the folder and returns its full path.
    std::string Write(const std::string& name, const Bytes& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
        return File(name);
    }

  private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
inline std::string ReadFileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadFileText(path);
    return Bytes(text.begin(), text.end());
}

// Every regular file of a folder (not a link to one), by name, with its content.
inline std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            files[entry.path().filename().string()] = ReadFileText(entry.path().string());
        }
    }
    return files;
}

}  // namespace tandrel::test
