// A fresh temporary folder per test, removed with everything in it afterwards, with helpers to
// write and read whole files as bytes. Optionally the test's working folder for its duration.
// Names are UTF-8 on both systems.
// Relies on: std::filesystem, platform.h.
#pragma once
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "support/platform.h"

class TempFolder {
public:
    TempFolder() : path_(test_platform::new_folder("tarnwood-")) {}
    ~TempFolder() {
        leave();
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(test_platform::path(path_), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Makes this folder the working folder until leave() or the end of the test.
    void enter() {
        std::error_code error;
        old_cwd_ = std::filesystem::current_path(error);
        if (error) return;
        std::filesystem::current_path(test_platform::path(path_), error);
        if (error) old_cwd_.clear();
    }
    void leave() {
        std::error_code error;
        if (!old_cwd_.empty()) std::filesystem::current_path(old_cwd_, error);
        if (!error) old_cwd_.clear();
    }

    // Every name in the folder (not recursive), sorted.
    std::vector<std::string> names(const std::string& sub = "") const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(test_platform::path(sub.empty() ? path_ : file(sub))))
            out.push_back(test_platform::utf8(e.path().filename()));
        std::sort(out.begin(), out.end());
        return out;
    }

    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream out(test_platform::path(path), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(test_platform::path(path), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
    std::filesystem::path old_cwd_;
};
