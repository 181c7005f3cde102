// A fresh temporary folder per test, removed with everything in it afterwards, with helpers to
// write and read whole files as bytes. Optionally the test's working folder for its duration.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwood-XXXXXX").string();
        char* made = mkdtemp(&pattern[0]);
        if (made) path_ = made;
    }
    ~TempFolder() {
        leave();
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Makes this folder the working folder until leave() or the end of the test.
    void enter() {
        char* here = getcwd(nullptr, 0);
        if (here) old_cwd_ = here;
        std::free(here);
        if (chdir(path_.c_str()) != 0) old_cwd_.clear();
    }
    void leave() {
        if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) == 0) old_cwd_.clear();
    }

    // Every name in the folder (not recursive), sorted.
    std::vector<std::string> names(const std::string& sub = "") const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(sub.empty() ? path_ : file(sub)))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
    std::string old_cwd_;
};
