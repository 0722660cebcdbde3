#pragma once
// Translation catalogues. Every text the user sees is a key made of a context between two bars
// and the English text ("|AdvancedTab|Display"). The translator holds the catalogue of the
// current language, read from a GNU gettext ".mo" file, and answers a key with its translation,
// or without one with the key less its context.
//
// .mo file (little-endian, revision 0): u32 magic 0x950412DE, u32 revision, u32 message count N,
// u32 offset O of the original strings' table, u32 offset T of the translations' table, u32 hash
// table size and offset (not used); the tables hold N entries {u32 length, u32 offset} of
// NUL-terminated texts, offsets from the file's start.
//
// Special keys: "|I18NInternal|Encoding" names the encoding of the translations ("latin1" or
// "utf8"); "|I18NInternal|English" gives the language's own name.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "platform/Types.h"

// The largest catalogue LoadMo reads; real catalogues are a few hundred kilobytes.
inline constexpr u32 kClassicTranslatorMaxFileSize = 16u << 20;
// The most messages a catalogue may hold: the hash table keeps 16-bit message indices, 0xFFFF
// marking an empty slot, so the last index is 0xFFFE.
inline constexpr u32 kClassicTranslatorMaxMessages = 0xFFFF;

class CClassicTranslator {
public:
    constexpr CClassicTranslator() = default;
    virtual ~CClassicTranslator() { Unload(); }
    CClassicTranslator(const CClassicTranslator&) = delete;
    CClassicTranslator& operator=(const CClassicTranslator&) = delete;

    // Unloads, then reads the catalogue from the stream (standing at the file's start) for the
    // language code (at most 31 characters are kept). A refused file gives false, the error text
    // ("Invalid mo file", or one of the byte order and revision texts) and an empty translator;
    // nothing is logged, the caller writes the error text to the log. Every offset, count and
    // text of the file is checked before it is used; a file of more than
    // kClassicTranslatorMaxMessages messages, or whose keys crowd into the same hash probe
    // sequences so that building the table would take more than linear work, is refused.
    // A key that occurs twice is looked up as its first message; later ones stay in the key
    // list but not in the hash table. Success writes the catalogue's three log lines and leaves
    // the error text empty.
    bool LoadMo(const char* languageCode, CClassicBuffer* stream, CClassicString& errorText);
    // Frees the catalogue; language "xx".
    void Unload();

    // The translation of the key, or the key itself, without a leading context. The result points
    // into the catalogue (valid until the next LoadMo or Unload) or into the key. An empty key
    // comes back unchanged; a null key gives the empty text.
    const char16_t* Translate(const char16_t* key) const;
    // Index of the message with this key, -1 when absent (or no catalogue is loaded).
    i32 FindMessage(const char16_t* key) const;
    // The language's own name: the translation of "|I18NInternal|English".
    const char16_t* GetLanguageName() const;
    // Writes the "[I18n] Language", "MsgCount" and "Encoding" lines.
    void LogCatalogueInfo() const;

    u32 GetMessageCount() const { return m_MessageCount; }
    const char* GetLanguageCode() const { return m_LanguageCode; }
    // Key and translation of message i < GetMessageCount().
    const char16_t* GetKey(u32 i) const { return m_Keys[i]; }
    const char16_t* GetTranslation(u32 i) const { return m_Translations[i]; }

private:
    // Adds message `index`, whose key hashes to keyHashes[index], to the hash table, unless an
    // earlier message with the same key is there already; nothing when the table has no empty
    // slot. Every probe and every compared key character is taken from `work`; false when it
    // runs out.
    bool InsertMessage(u32 index, const u32* keyHashes, u64& work);

    u32 m_MessageCount = 0;
    char16_t** m_Keys = nullptr;
    char16_t** m_Translations = nullptr;
    // Message indices by double hashing of the key, 0xFFFF where free. Null when no catalogue
    // is loaded.
    u16* m_HashTable = nullptr;
    u32 m_HashTableSize = 0;
    // All keys, then all translations, each NUL-terminated.
    char16_t* m_TextBlock = nullptr;
    char m_LanguageCode[32] = {'x', 'x'};
};

// The process-wide translator.
extern constinit CClassicTranslator g_ClassicTranslator;

// The text after a leading "|context|"; a text that does not begin with '|' or holds no second
// '|' is returned whole. Null gives the empty text.
const char16_t* ClassicSkipContextW(const char16_t* text);
// The same for 8-bit text, except that a text beginning with '|' without a second '|' gives the
// empty end of the text.
const char* ClassicSkipContext(const char* text);

// How well language code b answers for a: 0 when either is null or shorter than 2 characters
// or the first two letters differ (ASCII case ignored). Otherwise, when a has exactly 2
// characters: 2 when b has too, 1 when b is longer; when a is longer: 2 when a and b are equal
// ignoring case, else 0.
i32 ClassicMatchLanguage(const char* a, const char* b);

// Writes the code's first two characters and a NUL into prefix and returns whether the code is
// longer than 2 characters; a null code or one shorter than 2 writes "xx" and returns false.
bool ClassicGetLanguagePrefix(const char* code, char prefix[3]);
