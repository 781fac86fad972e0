// example_support.h: what the guide's examples share: a scratch folder for their files.
#pragma once

#include <filesystem>
#include <string>

// A fresh folder for one example's files, below the system's temporary folder.
inline std::filesystem::path ExampleFolder(const char* name) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "kvx-guide" / name;
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    return folder;
}
