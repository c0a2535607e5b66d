// A fresh working directory for one test, removed afterwards. CTest runs the
// tests of one binary as parallel processes, so each needs its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ScopedWorkDir {
public:
    ScopedWorkDir() : m_old(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv_test_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder";
        m_dir = pattern;
        std::filesystem::current_path(m_dir);
    }
    ~ScopedWorkDir() {
        std::error_code ec;
        std::filesystem::current_path(m_old, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& Path() const { return m_dir; }

private:
    std::filesystem::path m_old, m_dir;
};
