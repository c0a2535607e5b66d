// Where a screen file (.int) puts a window or a button's look, so tests that
// click or photograph the sample's screens follow its layout as it changes.
#pragma once

#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

namespace test_layout {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    int MidX() const { return x + w / 2; }
    int MidY() const { return y + h / 2; }
};

// The screen rectangle of the line "NAME x,y,w,h,..."; a test failure and an
// empty rectangle when the file has no such line.
inline Rect Find(const std::filesystem::path& screen, const std::string& name) {
    std::istringstream lines(test_files::ReadText(screen));
    for (std::string line; std::getline(lines, line);) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, name.size() + 1, name + " ") != 0) continue;
        Rect r;
        if (std::sscanf(line.c_str() + start + name.size(), " %d,%d,%d,%d", &r.x, &r.y, &r.w, &r.h) == 4) return r;
    }
    ADD_FAILURE() << screen << " has no window " << name;
    return {};
}

}  // namespace test_layout
