// temp_dir.cpp: scratch folders and whole-file helpers for tests.
#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

KvxTempDir::KvxTempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "kvx-test-" << rd() << '-' << stamp << '-' << counter++;
        _path = fs::temp_directory_path() / name.str();
        std::error_code ec;
        if (fs::create_directory(_path, ec)) {
            break;
        }
    }
}

KvxTempDir::~KvxTempDir() {
    std::error_code ec;
    fs::remove_all(_path, ec);
}

std::string KvxReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void KvxWriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
