#include "core/base/ClassicTranslator.h"

#include "core/base/ClassicHash.h"
#include "core/base/ClassicLog.h"
#include "platform/Endian.h"

#include <cstring>
#include <memory>

constinit CClassicTranslator g_ClassicTranslator;

namespace {

constexpr u32 kMoMagic = 0x950412DE;
constexpr u32 kMoMagicSwapped = 0xDE120495;
constexpr u32 kMoHeaderSize = 28;
constexpr u16 kEmptySlot = 0xFFFF;
static_assert(kClassicTranslatorMaxMessages - 1 < kEmptySlot);
// Hash table work allowed per message while a catalogue loads. The table is at most three
// quarters full, where double hashing probes about twice per key on average; many more probes
// only happen when keys share their probe sequence (equal hashes are easy to make), and each
// such key would walk past all those before it.
constexpr u64 kProbesPerMessage = 16;

constexpr char kInvalidMo[] = "Invalid mo file";
constexpr char16_t kEncodingKey[] = u"|I18NInternal|Encoding";
constexpr char16_t kEnglishKey[] = u"|I18NInternal|English";

enum class EEncoding { Narrow, Utf8, Bytes };

bool SameText(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// A text of the file: where it starts and its length up to (not including) its NUL.
struct MoText {
    u32 m_Offset;
    u32 m_Length;
};

// Finds the texts of one table. Every offset must lie in the file with a NUL after it, and the
// texts' characters (NULs included) must fit the budget, which bounds both the time spent
// looking for NULs and the size of the text block however the entries share their texts.
bool LocateTexts(const u8* file, u32 fileSize, u32 table, u32 count, u64& budget, MoText* texts) {
    for (u32 i = 0; i < count; ++i) {
        const u32 offset = platform::LoadU32Le(file + table + 8 * i + 4);
        if (offset >= fileSize) {
            return false;
        }
        const u32 left = fileSize - offset;
        const u64 searched = left < budget ? left : budget;
        const void* nul = std::memchr(file + offset, 0, size_t(searched));
        if (!nul) {
            return false;
        }
        const u32 length = u32(static_cast<const u8*>(nul) - (file + offset));
        budget -= u64(length) + 1;
        texts[i] = {offset, length};
    }
    return true;
}

} // namespace

void CClassicTranslator::Unload() {
    delete[] m_Keys;
    delete[] m_Translations;
    delete[] m_HashTable;
    delete[] m_TextBlock;
    m_Keys = nullptr;
    m_Translations = nullptr;
    m_HashTable = nullptr;
    m_TextBlock = nullptr;
    m_MessageCount = 0;
    m_HashTableSize = 0;
    std::memset(m_LanguageCode, 0, sizeof m_LanguageCode);
    m_LanguageCode[0] = 'x';
    m_LanguageCode[1] = 'x';
}

bool CClassicTranslator::LoadMo(const char* languageCode, CClassicBuffer* stream,
                                CClassicString& errorText) {
    Unload();
    errorText.Assign("");
    if (!languageCode) {
        languageCode = "";
    }
    // A refusal is reported through the result and the error text only.
    const auto refuse = [&](const char* text) {
        Unload();
        errorText.Assign(text);
        return false;
    };
    if (!stream) {
        return refuse(kInvalidMo);
    }

    // The whole file in one buffer, so that offsets from the file's start index it directly.
    std::unique_ptr<u8[]> file;
    u32 fileSize = 0;
    try {
        const u32 size = stream->GetSize();
        const u32 position = stream->GetPosition();
        if (size <= kMoHeaderSize - 1 || position > size - kMoHeaderSize) {
            return refuse(kInvalidMo);
        }
        u8 header[kMoHeaderSize];
        if (stream->Read(header, kMoHeaderSize) != kMoHeaderSize) {
            return refuse(kInvalidMo);
        }
        const u32 magic = platform::LoadU32Le(header);
        if (magic == kMoMagicSwapped) {
            return refuse("Invalid mo file:  file byte order not supported");
        }
        if (magic != kMoMagic) {
            return refuse(kInvalidMo);
        }
        if (platform::LoadU32Le(header + 4) != 0) {
            return refuse("Invalid mo file: only version 0, revision 0 supported!");
        }
        fileSize = size - position;
        if (fileSize > kClassicTranslatorMaxFileSize) {
            return refuse(kInvalidMo);
        }
        file.reset(new u8[fileSize]);
        std::memcpy(file.get(), header, kMoHeaderSize);
        const u32 rest = fileSize - kMoHeaderSize;
        if (stream->Read(file.get() + kMoHeaderSize, rest) != rest) {
            return refuse(kInvalidMo);
        }
    } catch (const CClassicBufferException&) {
        return refuse(kInvalidMo);
    }

    const u32 count = platform::LoadU32Le(file.get() + 8);
    const u32 originals = platform::LoadU32Le(file.get() + 12);
    const u32 translations = platform::LoadU32Le(file.get() + 16);
    const u64 tableBytes = u64(count) * 8;
    if (count > kClassicTranslatorMaxMessages || originals + tableBytes > fileSize ||
        translations + tableBytes > fileSize) {
        return refuse(kInvalidMo);
    }

    // Each text is stored once in an honest file, so its characters fit in the file's size; the
    // budget allows some sharing of texts between entries.
    u64 budget = u64(fileSize) * 2;
    std::unique_ptr<MoText[]> keyTexts(new MoText[count]);
    std::unique_ptr<MoText[]> translationTexts(new MoText[count]);
    if (!LocateTexts(file.get(), fileSize, originals, count, budget, keyTexts.get()) ||
        !LocateTexts(file.get(), fileSize, translations, count, budget, translationTexts.get())) {
        return refuse(kInvalidMo);
    }

    // Keys widen byte by byte; a translation decodes to at most one character per byte, so the
    // block holds every key and translation with its NUL.
    u64 blockSize = 0;
    for (u32 i = 0; i < count; ++i) {
        blockSize += u64(keyTexts[i].m_Length) + 1 + u64(translationTexts[i].m_Length) + 1;
    }
    m_MessageCount = count;
    m_Keys = new char16_t*[count];
    m_Translations = new char16_t*[count];
    m_TextBlock = new char16_t[blockSize];
    char16_t* cursor = m_TextBlock;
    const char16_t* const blockEnd = m_TextBlock + blockSize;
    for (u32 i = 0; i < count; ++i) {
        const u8* text = file.get() + keyTexts[i].m_Offset;
        m_Keys[i] = cursor;
        for (u32 k = 0; k < keyTexts[i].m_Length; ++k) {
            *cursor++ = text[k];
        }
        *cursor++ = 0;
    }

    // The work of building the table is bounded: a few probes per message, and comparing each
    // key in full once (a key met again stops at its first message).
    std::unique_ptr<u32[]> keyHashes(new u32[count]);
    u64 work = kProbesPerMessage * count;
    for (u32 i = 0; i < count; ++i) {
        keyHashes[i] = ClassicHashPjwWide(m_Keys[i]);
        work += u64(keyTexts[i].m_Length) + 1;
    }
    m_HashTableSize = ClassicHashTableSize(count);
    m_HashTable = new u16[m_HashTableSize];
    for (u32 i = 0; i < m_HashTableSize; ++i) {
        m_HashTable[i] = kEmptySlot;
    }
    for (u32 i = 0; i < count; ++i) {
        if (!InsertMessage(i, keyHashes.get(), work)) {
            return refuse(kInvalidMo);
        }
    }

    u32 codeLength = 0;
    for (; codeLength < sizeof m_LanguageCode - 1 && languageCode[codeLength]; ++codeLength) {
        m_LanguageCode[codeLength] = languageCode[codeLength];
    }
    m_LanguageCode[codeLength] = 0;

    EEncoding encoding = EEncoding::Narrow;
    const i32 encodingIndex = FindMessage(kEncodingKey);
    if (encodingIndex >= 0) {
        const MoText& name = translationTexts[encodingIndex];
        const char* text = reinterpret_cast<const char*>(file.get() + name.m_Offset);
        if (std::strcmp(text, "utf8") == 0) {
            encoding = EEncoding::Utf8;
        } else if (std::strcmp(text, "latin1") != 0 && std::strcmp(text, "Encoding") != 0) {
            encoding = EEncoding::Bytes;
            g_ClassicLogLine.Assign("[I18n] Unknown encoding '");
            ClassicLogAppendText(g_ClassicLogLine,
                                 CClassicStringRef(text, name.m_Length < 64 ? name.m_Length : 64))
                .Append("': translations read byte by byte\r\n");
            ClassicLogWriteLine();
        }
    }

    CClassicWideString decoded;
    for (u32 i = 0; i < count; ++i) {
        const CClassicStringRef text(
            reinterpret_cast<const char*>(file.get() + translationTexts[i].m_Offset),
            translationTexts[i].m_Length);
        switch (encoding) {
            case EEncoding::Narrow:
                decoded.AssignFromNarrow(text);
                break;
            case EEncoding::Utf8:
                decoded.AssignUtf8(text);
                break;
            case EEncoding::Bytes:
                decoded.Assign(u"");
                decoded.AppendNarrow(text);
                break;
        }
        const char16_t* stripped = ClassicSkipContextW(decoded.GetText());
        u32 length = ClassicTextLength(stripped);
        // The decoders never produce more characters than bytes; the copy stays in the block
        // even if one did.
        const u32 room = u32(blockEnd - cursor) - 1;
        length = length < room ? length : room;
        m_Translations[i] = cursor;
        std::memcpy(cursor, stripped, length * sizeof(char16_t));
        cursor += length;
        *cursor++ = 0;
    }

    LogCatalogueInfo();
    errorText.Assign("");
    return true;
}

bool CClassicTranslator::InsertMessage(u32 index, const u32* keyHashes, u64& work) {
    const u32 n = m_HashTableSize;
    const u32 hash = keyHashes[index];
    const char16_t* key = m_Keys[index];
    const u32 step = hash % (n - 2) + 1;
    u32 slot = hash % n;
    for (u32 probe = 0; probe < n; ++probe) {
        if (work == 0) {
            return false;
        }
        --work;
        const u16 other = m_HashTable[slot];
        if (other == kEmptySlot) {
            m_HashTable[slot] = u16(index);
            return true;
        }
        if (keyHashes[other] == hash) {
            // Characters compared up to the first difference, or the whole key and its NUL.
            const char16_t* a = key;
            const char16_t* b = m_Keys[other];
            while (*a && *a == *b) {
                ++a;
                ++b;
            }
            const u64 compared = u64(a - key) + 1;
            if (compared > work) {
                return false;
            }
            work -= compared;
            if (*a == *b) {
                return true; // the first message with this key answers for it
            }
        }
        slot += step;
        if (slot >= n) {
            slot -= n;
        }
    }
    return true;
}

i32 CClassicTranslator::FindMessage(const char16_t* key) const {
    if (!m_HashTable || !key) {
        return -1;
    }
    const u32 n = m_HashTableSize;
    const u32 hash = ClassicHashPjwWide(key);
    const u32 step = hash % (n - 2) + 1;
    u32 slot = hash % n;
    for (u32 probe = 0; probe < n; ++probe) {
        const u16 index = m_HashTable[slot];
        if (index == kEmptySlot) {
            return -1;
        }
        if (SameText(m_Keys[index], key)) {
            return i32(index);
        }
        slot += step;
        if (slot >= n) {
            slot -= n;
        }
    }
    return -1;
}

const char16_t* CClassicTranslator::Translate(const char16_t* key) const {
    if (!key) {
        return ClassicEmptyText<char16_t>();
    }
    if (!key[0]) {
        return key;
    }
    const char16_t* text = key;
    if (m_MessageCount != 0 && m_HashTable) {
        const i32 index = FindMessage(key);
        if (index >= 0) {
            text = m_Translations[index];
        }
    }
    return ClassicSkipContextW(text);
}

const char16_t* CClassicTranslator::GetLanguageName() const {
    return Translate(kEnglishKey);
}

void CClassicTranslator::LogCatalogueInfo() const {
    g_ClassicLogLine.Assign("[I18n] Language: ");
    ClassicLogAppendText(g_ClassicLogLine, m_LanguageCode).Append(" '");
    ClassicLogAppendWideText(g_ClassicLogLine, GetLanguageName());
    g_ClassicLogLine.Append("'\r\n");
    ClassicLogWriteLine();

    g_ClassicLogLine.Assign("[I18n] MsgCount: ");
    g_ClassicLogLine.AppendInt(i32(m_MessageCount)).Append("\r\n");
    ClassicLogWriteLine();

    g_ClassicLogLine.Assign("[I18n] Encoding: ");
    ClassicLogAppendWideText(g_ClassicLogLine, Translate(kEncodingKey));
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

const char16_t* ClassicSkipContextW(const char16_t* text) {
    if (!text) {
        return ClassicEmptyText<char16_t>();
    }
    if (text[0] == u'|') {
        for (const char16_t* p = text + 1; *p; ++p) {
            if (*p == u'|') {
                return p + 1;
            }
        }
    }
    return text;
}

const char* ClassicSkipContext(const char* text) {
    if (!text) {
        return ClassicEmptyText<char>();
    }
    if (text[0] != '|') {
        return text;
    }
    const char* second = std::strchr(text + 1, '|');
    return second ? second + 1 : text + std::strlen(text);
}

i32 ClassicMatchLanguage(const char* a, const char* b) {
    const u32 lengthA = ClassicTextLength(a);
    const u32 lengthB = ClassicTextLength(b);
    if (lengthA < 2 || lengthB < 2 || ClassicToLower(a[0]) != ClassicToLower(b[0]) ||
        ClassicToLower(a[1]) != ClassicToLower(b[1])) {
        return 0;
    }
    if (lengthA == 2) {
        return lengthB == 2 ? 2 : 1;
    }
    if (lengthA != lengthB) {
        return 0;
    }
    for (u32 i = 2; i < lengthA; ++i) {
        if (ClassicToLower(a[i]) != ClassicToLower(b[i])) {
            return 0;
        }
    }
    return 2;
}

bool ClassicGetLanguagePrefix(const char* code, char prefix[3]) {
    if (ClassicTextLength(code) < 2) {
        prefix[0] = 'x';
        prefix[1] = 'x';
        prefix[2] = 0;
        return false;
    }
    prefix[0] = code[0];
    prefix[1] = code[1];
    prefix[2] = 0;
    return code[2] != 0;
}
