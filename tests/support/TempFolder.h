// TempFolder: a fresh folder under the system's temporary folder, removed with its contents
// when the object goes. Small helpers write and read files inside it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace testing_support {

// Every byte of a file; "" when it cannot be read.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sonavoxa-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes a file (creating its folders) and returns its path.
    std::string Write(const std::string& relative, const std::string& contents) const {
        const std::filesystem::path file = path_ + "/" + relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << contents;
        return file.string();
    }
    std::string MakeFolder(const std::string& relative) const {
        std::filesystem::create_directories(path_ + "/" + relative);
        return path_ + "/" + relative;
    }
    std::string Read(const std::string& relative) const {
        return FileBytes(path_ + "/" + relative);
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(path_ + "/" + relative);
    }

  private:
    std::string path_;
};

}  // namespace testing_support
