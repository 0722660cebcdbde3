#include "system/file/Registry.h"

#include "core/base/ClassicLog.h"
#include "platform/Registry.h"

#include <cstring>
#include <string>

namespace {

// The registry reads a value into 512 bytes: 256 characters.
constexpr u32 kRegistryValueMaxLength = 256;

constinit CClassicString g_RegistryRootKey;

std::u16string Widen(const char* text) {
    CClassicWideString wide;
    wide.AssignFromNarrow(CClassicStringRef(text));
    return std::u16string(wide.GetText(), wide.GetLength());
}

std::u16string RootKey() {
    return Widen(g_RegistryRootKey.IsEmpty() ? kRegistryDefaultRootKey
                                             : g_RegistryRootKey.GetText());
}

} // namespace

void SetRegistryRootKey(const char* key) {
    g_RegistryRootKey.Assign(CClassicStringRef(key));
}

const CClassicString& GetRegistryRootKey() {
    return g_RegistryRootKey;
}

void ReadRegistryString(const char* name, CClassicString& out, const char* defaultValue) {
    std::u16string value;
    if (!platform::RegistryRead(RootKey(), Widen(name), value) || value.empty() ||
        value.size() > kRegistryValueMaxLength) {
        out.Assign(CClassicStringRef(defaultValue));
        return;
    }
    CClassicWideString(CClassicWideStringRef(value.data(), u32(value.size()))).GetAscii(out);
}

void WriteRegistryString(const char* name, const char* value) {
    if (const int error = platform::RegistryWrite(RootKey(), Widen(name), Widen(value))) {
        ClassicLogFormatLine("[Sys] Registry value \"%s\" of key \"%s\" not written: %s",
                             name ? name : "", g_RegistryRootKey.GetText(), std::strerror(error));
    }
}
