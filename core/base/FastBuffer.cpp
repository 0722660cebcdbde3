#include "core/base/FastBuffer.h"

#include "platform/Memory.h"

bool ClassicIsValidObjectPointer(const void* object, size_t size) {
    if (!platform::IsWritable(object, size)) {
        return false;
    }
    uintptr_t table;
    uintptr_t firstEntry;
    return platform::ReadWordSafely(object, &table) &&
           platform::ReadWordSafely(reinterpret_cast<const void*>(table), &firstEntry) &&
           platform::IsExecutable(reinterpret_cast<const void*>(firstEntry));
}
