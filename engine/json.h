// RapidJSON types whose allocations throw std::bad_alloc when memory runs
// out. RapidJSON's own CrtAllocator hands null on, which its parser and
// writer then write through.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <new>

namespace kelvo {
namespace video {

class JsonAllocator {
public:
    static const bool kNeedFree = true;
    void* Malloc(size_t size) {
        if (size == 0) return nullptr;
        void* block = std::malloc(size);
        if (!block) throw std::bad_alloc();
        return block;
    }
    void* Realloc(void* block, size_t, size_t newSize) {
        if (newSize == 0) {
            std::free(block);
            return nullptr;
        }
        void* grown = std::realloc(block, newSize);
        if (!grown) throw std::bad_alloc();
        return grown;
    }
    static void Free(void* block) { std::free(block); }
};

using JsonDocument =
    rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<JsonAllocator>,
                               JsonAllocator>;
using JsonValue = JsonDocument::ValueType;
using JsonStringBuffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, JsonAllocator>;
using JsonWriter =
    rapidjson::Writer<JsonStringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, JsonAllocator>;

}  // namespace video
}  // namespace kelvo
