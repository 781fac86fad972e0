// temp_dir.h: KvxTempDir, a unique scratch folder per test, removed with its contents.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Makes a fresh folder under the system's temporary folder; the destructor removes it and
// everything in it. Tests run in parallel, so never use fixed file names outside it.
class KvxTempDir {
public:
    KvxTempDir();
    ~KvxTempDir();
    KvxTempDir(const KvxTempDir&) = delete;
    KvxTempDir& operator=(const KvxTempDir&) = delete;

    const std::filesystem::path& path() const { return _path; }
    // The path of a file named `name` inside the folder.
    std::filesystem::path File(const std::string& name) const { return _path / name; }
    std::wstring WFile(const std::string& name) const { return File(name).wstring(); }
    std::string NFile(const std::string& name) const { return File(name).string(); }

private:
    std::filesystem::path _path;
};

// Reads a whole file as bytes; empty if it cannot be opened.
std::string KvxReadFile(const std::filesystem::path& path);
// Writes bytes to a file, replacing it.
void KvxWriteFile(const std::filesystem::path& path, const std::string& bytes);
