#pragma once
// String values of the current user's registry under one root key (platform/Registry.h keeps
// them in text files). Key paths, value names and values are narrow text, widened as UTF-8 when
// they begin with EF BB BF and one character per byte otherwise.
#include "core/base/ClassicString.h"

// The key used while none has been set.
inline constexpr const char* kRegistryDefaultRootKey = "Software\\Vorel";

// Sets the root key path under the current user (null stores the empty string, which reads and
// writes under the default key).
void SetRegistryRootKey(const char* key);
const CClassicString& GetRegistryRootKey();

// The value `name` under the root key as narrow text, characters of 128 or above replaced by '_';
// `defaultValue` when the value is absent, empty or longer than 256 characters.
void ReadRegistryString(const char* name, CClassicString& out, const char* defaultValue);
// Stores the value under the root key, creating the key. A failure is only logged.
void WriteRegistryString(const char* name, const char* value);
