// allocator_section.cpp: the sample host keeps its own small records (sensor readings with a
// name of varying length) in blocks from _st_malloc, churns them, and prints what it saw.
#include "demo_section.h"

#include "kvx/foundation.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

struct Reading {
    uint32_t sensor;
    uint32_t value;
    char name[1];  // the name runs on past the record's end, in the same block
};

Reading* NewReading(uint32_t sensor, uint32_t value, size_t nameLength) {
    auto* reading = static_cast<Reading*>(_st_malloc(sizeof(Reading) + nameLength));
    if (reading == nullptr) {
        return nullptr;
    }
    reading->sensor = sensor;
    reading->value = value;
    std::memset(reading->name, 'a' + static_cast<int>(sensor % 26), nameLength);
    reading->name[nameLength] = '\0';
    return reading;
}

bool Intact(const Reading* reading) {
    const size_t length = std::strlen(reading->name);
    for (size_t i = 0; i < length; ++i) {
        if (reading->name[i] != 'a' + static_cast<int>(reading->sensor % 26)) {
            return false;
        }
    }
    return true;
}

int DemoAllocator(DemoContext&) {
    // A fresh block: filled with 0xAF, the trailing guard right behind the requested bytes.
    auto* probe = static_cast<unsigned char*>(_st_malloc(5));
    if (probe == nullptr) {
        return 1;
    }
    std::printf("   _st_malloc(5): address mod 8 = %u, bytes %02X %02X %02X %02X %02X, guard "
                "%02X%02X%02X%02X\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(probe) % 8), probe[0], probe[1],
                probe[2], probe[3], probe[4], probe[5], probe[6], probe[7], probe[8]);
    _st_free(probe);
    std::printf(
        "   _st_malloc(0) %s, _st_malloc(65456) %s, _st_malloc(65457) %s\n",
        _st_malloc(0) == nullptr ? "null" : "a block",
        [] {
            void* whole = _st_malloc(65456);
            _st_free(whole);
            return whole != nullptr;
        }()
            ? "a block"
            : "null",
        _st_malloc(65457) == nullptr ? "null" : "a block");

    // The host's records: 2,000 readings, then rounds that drop every third and add new ones.
    std::vector<Reading*> readings;
    std::set<const void*> seen;
    size_t allocated = 0;
    size_t reused = 0;
    size_t bytes = 0;
    uint32_t next = 0;
    auto add = [&] {
        const size_t nameLength = 4 + (next * 37u) % 120;
        Reading* reading = NewReading(next, next * 3u, nameLength);
        ++next;
        if (reading == nullptr) {
            return false;
        }
        ++allocated;
        bytes += sizeof(Reading) + nameLength;
        reused += seen.insert(reading).second ? 0 : 1;
        readings.push_back(reading);
        return true;
    };
    for (int i = 0; i < 2000; ++i) {
        if (!add()) {
            return 1;
        }
    }
    size_t released = 0;
    for (int round = 0; round < 5; ++round) {
        std::vector<Reading*> kept;
        for (size_t i = 0; i < readings.size(); ++i) {
            if (!Intact(readings[i])) {
                std::printf("   reading %u damaged\n", readings[i]->sensor);
                return 1;
            }
            if (i % 3 == static_cast<size_t>(round % 3)) {
                _st_free(readings[i]);
                ++released;
            } else {
                kept.push_back(readings[i]);
            }
        }
        readings.swap(kept);
        for (int i = 0; i < 600; ++i) {
            if (!add()) {
                return 1;
            }
        }
    }
    std::printf("   %zu records allocated (%zu bytes requested), %zu released, %zu live; "
                "%zu took an address released before\n",
                allocated, bytes, released, readings.size(), reused);
    for (Reading* reading : readings) {
        if (!Intact(reading)) {
            return 1;
        }
        _st_free(reading);
    }
    std::printf("   every record intact; all released\n");
    return 0;
}

}  // namespace

KVX_DEMO_SECTION(20, "Small-block allocator", DemoAllocator);
