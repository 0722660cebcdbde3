#include "core/base/ClassicBufferCipher.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicMd5.h"
#include "platform/Crt.h"
#include "platform/Endian.h"

#include <bit>
#include <cstring>

namespace {

// Largest piece handed to the inner stream at once.
constexpr u32 kChunkSize = 256;

void LogCipherLine(const char* reason) {
    g_ClassicLogLine.Assign("[Cipher] ");
    g_ClassicLogLine.Append(reason).Append("\r\n");
    ClassicLogWriteLine();
}

} // namespace

void ClassicDeriveCipherKey(u32 salt, const char* password, u8 key[16]) {
    if (!password || !*password) {
        password = kClassicCipherDefaultPassword;
    }
    u8 saltBytes[4];
    platform::StoreU32Le(saltBytes, salt);
    CClassicMd5 md5;
    md5.Update(saltBytes, sizeof saltBytes);
    md5.Update(password, u32(std::strlen(password)));
    md5.Finish(key);
}

u32 ClassicRandomU32() {
    u32 value = 0;
    for (u32 i = 0; i < 4; ++i) {
        value = (value << 8) | (platform::Random15() * 256 / 32768);
    }
    return value;
}

bool CClassicBufferCipher::Open(CClassicBuffer* inner, bool encipher, u32 /*reserved*/,
                                const char* password) {
    m_Inner = nullptr;
    m_HeaderSize = -1;
    if (!inner) {
        LogCipherLine("Open without a stream");
        return false;
    }
    if (!encipher) {
        m_Inner = inner;
        m_HeaderSize = 0;
        return true;
    }
    const u32 salt = ClassicRandomU32();
    u8 header[kClassicCipherHeaderSize];
    std::memcpy(header, kClassicCipherMagic, sizeof kClassicCipherMagic);
    header[9] = kClassicCipherVersion;
    platform::StoreU32Le(header + 10, salt);
    if (inner->Write(header, sizeof header) != sizeof header) {
        LogCipherLine("The stream did not take the header");
        return false;
    }
    ClassicDeriveCipherKey(salt, password, m_Key);
    m_Inner = inner;
    m_HeaderSize = kClassicCipherHeaderSize;
    return true;
}

bool CClassicBufferCipher::OpenForReading(CClassicBuffer* inner, const char* password) {
    m_Inner = nullptr;
    m_HeaderSize = -1;
    if (!inner) {
        LogCipherLine("Open without a stream");
        return false;
    }
    u8 header[kClassicCipherHeaderSize];
    u32 got = 0;
    try {
        got = inner->Read(header, sizeof header);
    } catch (const CClassicBufferException&) {
        got = 0;
    }
    if (got != sizeof header) {
        LogCipherLine("Not an enciphered file: the header is cut short");
        return false;
    }
    if (std::memcmp(header, kClassicCipherMagic, sizeof kClassicCipherMagic) != 0) {
        LogCipherLine("Not an enciphered file: no VorelFile magic");
        return false;
    }
    if (header[9] != kClassicCipherVersion) {
        g_ClassicLogLine.Format("[Cipher] Not an enciphered file: version %u is not supported\r\n",
                                unsigned(header[9]));
        ClassicLogWriteLine();
        return false;
    }
    ClassicDeriveCipherKey(platform::LoadU32Le(header + 10), password, m_Key);
    m_Inner = inner;
    m_HeaderSize = kClassicCipherHeaderSize;
    return true;
}

void CClassicBufferCipher::Apply(u8* data, u32 n, u32 position) const {
    for (u32 i = 0; i < n; ++i, ++position) {
        data[i] ^= std::rotl(m_Key[position % 16], int((position / 17) % 8));
    }
}

u32 CClassicBufferCipher::Read(void* data, u32 n) {
    if (!IsOpen()) {
        return 0;
    }
    if (m_HeaderSize == 0) {
        return m_Inner->Read(data, n);
    }
    const u32 position = GetPosition();
    const u32 got = m_Inner->Read(data, n);
    Apply(static_cast<u8*>(data), got < n ? got : n, position);
    return got;
}

u32 CClassicBufferCipher::Write(const void* data, u32 n) {
    if (!IsOpen()) {
        return 0;
    }
    if (m_HeaderSize == 0) {
        return m_Inner->Write(data, n);
    }
    const u8* source = static_cast<const u8*>(data);
    u32 position = GetPosition();
    u32 total = 0;
    u8 chunk[kChunkSize];
    while (total < n) {
        const u32 size = n - total < kChunkSize ? n - total : kChunkSize;
        std::memcpy(chunk, source + total, size);
        Apply(chunk, size, position);
        const u32 taken = m_Inner->Write(chunk, size);
        total += taken < size ? taken : size;
        if (taken != size) {
            break;
        }
        position += size;
    }
    return total;
}

bool CClassicBufferCipher::Close() {
    return IsOpen() && m_Inner->Close();
}

u32 CClassicBufferCipher::GetPosition() const {
    if (!IsOpen()) {
        return 0;
    }
    const u32 position = m_Inner->GetPosition();
    return position > u32(m_HeaderSize) ? position - u32(m_HeaderSize) : 0;
}

u32 CClassicBufferCipher::GetSize() const {
    if (!IsOpen()) {
        return 0;
    }
    const u32 size = m_Inner->GetSize();
    return size > u32(m_HeaderSize) ? size - u32(m_HeaderSize) : 0;
}

bool CClassicBufferCipher::CanSeek() const {
    return IsOpen() && m_Inner->CanSeek();
}

void CClassicBufferCipher::SetPosition(u32 position) {
    if (!IsOpen()) {
        return;
    }
    const u32 room = 0xFFFFFFFF - u32(m_HeaderSize);
    m_Inner->SetPosition((position < room ? position : room) + u32(m_HeaderSize));
}

const CClassicWideString* CClassicBufferCipher::GetName() const {
    return IsOpen() ? m_Inner->GetName() : nullptr;
}
