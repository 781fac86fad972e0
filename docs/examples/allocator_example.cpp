// allocator_example.cpp: the guide's small-block allocator example: a host keeps its own small
// records in blocks from _st_malloc.
#include "kvx/foundation.h"

#include <cstdint>
#include <cstdio>

// Blocks are aligned to 4 bytes, not 8: records whose fields need no more than 4 fit as they
// are.
struct Sample {
    uint32_t sensor;
    float value;
};

int main() {
    // Up to 65,456 bytes a block; null for 0 bytes, for more, or when memory runs out.
    auto* sample = static_cast<Sample*>(_st_malloc(sizeof(Sample)));
    if (sample == nullptr) {
        return 1;
    }
    sample->sensor = 101;
    sample->value = 22.5f;
    std::printf("sensor %u reads %.1f\n", static_cast<unsigned>(sample->sensor),
                static_cast<double>(sample->value));
    _st_free(sample);

    // Freshly handed-out bytes read 0xAF; a 0-byte request gets no block.
    auto* bytes = static_cast<unsigned char*>(_st_malloc(3));
    const bool filled = bytes != nullptr && bytes[0] == 0xAF && bytes[2] == 0xAF;
    _st_free(bytes);
    return filled && _st_malloc(0) == nullptr ? 0 : 1;
}
