// Helpers of the catalogue tests: a scratch directory that is removed afterwards, and the current directory kept.
#pragma once

#include "sys.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// A fresh directory under the system's temporary directory; restores the current directory and removes the tree
// when it goes out of scope.
struct ScratchDir {
    std::string path; // absolute, ending with '/'
    std::filesystem::path savedCwd = std::filesystem::current_path();

    ScratchDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "vekvoxa-test-XXXXXX").string();
        path = std::string(mkdtemp(templ.data())) + "/";
    }
    ~ScratchDir() {
        std::filesystem::current_path(savedCwd);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path + name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};
