// allocator_example.cpp: the guide's allocator example: small blocks for the host's own
// short-lived records, from any thread.
#include "kvx/foundation.h"

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {
struct Note {
    int sensor;
    char text[40];
};
}  // namespace

int main() {
    // Blocks of 1 to 65,456 bytes; the bytes come filled with 0xAF.
    auto* note = static_cast<Note*>(_st_malloc(sizeof(Note)));
    if (note == nullptr) {
        return 1;  // 0 bytes, more than 65,456, or no memory for a new pool
    }
    note->sensor = 101;
    std::snprintf(note->text, sizeof note->text, "T-%d reads 22.5", note->sensor);
    std::printf("%s\n", note->text);
    _st_free(note);

    // One lock serves every thread: a block may be released by another thread.
    std::vector<void*> blocks(1000);
    std::thread producer([&] {
        for (size_t i = 0; i < blocks.size(); ++i) {
            blocks[i] = _st_malloc(16 + i % 200);
        }
    });
    producer.join();
    size_t taken = 0;
    for (void* block : blocks) {
        taken += block != nullptr;
        _st_free(block);  // null is ignored
    }
    _st_free(nullptr);
    std::printf("%zu blocks taken and given back\n", taken);
    return taken == blocks.size() ? 0 : 1;
}
