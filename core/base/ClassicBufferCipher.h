#pragma once
// The enciphered stream: a stream over another stream that enciphers what is written through it
// with a key derived from a random salt and a password. The music files of the custom-data import
// are written through it.
//
// Layout on the inner stream (little-endian): "VorelFile" (9 bytes, no NUL), u8 version 1,
// u32 salt, then the data. Data byte p (p = 0 for the first byte after the header) is XORed with
// key[p mod 16] rotated left by (p / 17) mod 8 bits; key = MD5(4 salt bytes ++ password).
// Enciphering and deciphering are the same operation.
#include "core/base/ClassicBuffer.h"
#include "platform/Types.h"

inline constexpr char kClassicCipherMagic[9] = {'V', 'o', 'r', 'e', 'l', 'F', 'i', 'l', 'e'};
inline constexpr u8 kClassicCipherVersion = 1;
inline constexpr i32 kClassicCipherHeaderSize = 14;
// Used when the caller gives no password (or an empty one).
inline constexpr char kClassicCipherDefaultPassword[] = "Quiet,lamp42!";

class CClassicBufferCipher : public CClassicBuffer {
public:
    CClassicBufferCipher() = default;
    // The inner stream is not owned: nothing to free.
    ~CClassicBufferCipher() override = default;

    // Attaches the inner stream, which stands at its start. With `encipher`, writes the header
    // with a new salt from ClassicRandomU32 and derives the key from the salt and the password
    // (null or empty: the default password); otherwise the data passes through unchanged and no
    // header is written. `reserved` is not used. False, with a log line, when there is no inner
    // stream or it does not take the whole header; the stream is then not opened.
    bool Open(CClassicBuffer* inner, bool encipher, u32 reserved, const char* password);
    // Attaches an inner stream standing at the start of an enciphered file: reads and checks the
    // header and derives the key from the stored salt and the password (null or empty: the
    // default password). False, with a log line, for a missing stream, a short header, another
    // magic or another version; the stream is then not opened.
    bool OpenForReading(CClassicBuffer* inner, const char* password);

    // Before a successful Open these give 0, false or null and touch nothing.
    // Reads from the inner stream and deciphers in place the bytes actually read.
    u32 Read(void* data, u32 n) override;
    // Enciphers into chunks of at most 256 bytes (the caller's bytes are not changed) and writes
    // each one; stops at the first chunk the inner stream does not take whole. Returns the count
    // the inner stream accepted.
    u32 Write(const void* data, u32 n) override;
    // Closes the inner stream (which stays attached; the caller destroys it).
    bool Close() override;
    bool IsWritingTempFile() const override { return false; }
    // Inner position and size less the header.
    u32 GetPosition() const override;
    u32 GetSize() const override;
    bool CanSeek() const override;
    void SetPosition(u32 position) override;
    const CClassicWideString* GetName() const override;

    // Not owned.
    CClassicBuffer* m_Inner = nullptr;
    // -1 until opened, 14 when enciphering, 0 when passing data through.
    i32 m_HeaderSize = -1;
    u8 m_Key[16] = {};

private:
    bool IsOpen() const { return m_Inner && m_HeaderSize >= 0; }
    // XORs n bytes that stand at data position `position` with the key stream.
    void Apply(u8* data, u32 n, u32 position) const;
};

// key = MD5 of the 4 salt bytes (little-endian) followed by the password's characters (no NUL);
// a null or empty password stands for kClassicCipherDefaultPassword.
void ClassicDeriveCipherKey(u32 salt, const char* password, u8 key[16]);

// Four draws of the process-wide 15-bit generator (platform::Random15), each giving one byte
// x * 256 / 32768; the first draw is the most significant byte. The caller seeds the generator.
u32 ClassicRandomU32();
