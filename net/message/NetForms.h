#pragma once
// The forms that describe peers and the games they offer, manage a connection and carry the
// peer-to-peer file transfer. Each is a plain record whose body archive writes and reads its
// fields in a fixed order (little-endian; a narrow text is u32 length + bytes, a wide text its
// UTF-8 form as a narrow text, a boolean a u32, an address the 6 bytes of CNetAddress::Archive).
//
// Reading bounds every length from the wire before anything is allocated: a length past the
// bytes left or above its limit throws CClassicBufferException (with a log line), as a short
// read does; whoever started the read catches it. Body archives return 0 otherwise.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "net/message/NetNod.h"
#include "net/socket/NetAddress.h"

// Reads or writes a u32 size of raw data that follows it; reading checks it against the limit
// and the bytes left first.
void NetArchiveSize(CClassicArchive& archive, u32& size, u32 limit);

// A game a peer offers. The datagram and stream addresses are local (the connection fills them)
// and are never archived: reading sets them to 0.0.0.0:0.
class CNetServerInfo : public CNetNod {
    MW_DECLARE_CLASS(CNetServerInfo, CNetNod, 0x12002000)
public:
    u32 NeedsQueue() override { return 0; }
    // Text 1, 2, 3, 4, address 2, address 1.
    u32 Archive(CClassicArchive& archive) override;

    CClassicString m_Text1;
    CClassicString m_Text2;
    CClassicString m_Text3;
    CNetAddress m_Address1;
    CNetAddress m_Address2;
    CClassicString m_Text4;
    CNetAddress m_DatagramAddress;
    CNetAddress m_StreamAddress;
};

// A peer's description.
class CNetClientInfo : public CNetNod {
    MW_DECLARE_CLASS(CNetClientInfo, CNetNod, 0x12003000)
public:
    u32 NeedsQueue() override { return 0; }
    // Text 1 to 4, address 1, address 2.
    u32 Archive(CClassicArchive& archive) override;
    // Text 1 to 4 and address 1 only.
    virtual u32 ArchiveShort(CClassicArchive& archive);

    CClassicString m_Text1;
    CClassicString m_Text2;
    CClassicString m_Text3;
    CNetAddress m_Address1;
    CClassicString m_Text4;
    CNetAddress m_Address2;
};

class CNetFormQuerrySessions : public CNetNod {
    MW_DECLARE_CLASS(CNetFormQuerrySessions, CNetNod, 0x12007000)
public:
    u32 NeedsQueue() override { return 0; }
    // Text 1, text 2, address, value.
    u32 Archive(CClassicArchive& archive) override;

    CClassicString m_Text1;
    CClassicString m_Text2;
    CNetAddress m_Address;
    u32 m_Value = 0;
};

// The server info is part of the form: it lives and dies with it and is never handed out with a
// reference.
class CNetFormEnumSessions : public CNetNod {
    MW_DECLARE_CLASS(CNetFormEnumSessions, CNetNod, 0x12008000)
public:
    u32 NeedsQueue() override { return 0; }
    // The value, then the server info's body.
    u32 Archive(CClassicArchive& archive) override;

    CNetServerInfo m_ServerInfo;
    u32 m_Value = 0;
};

// A form that carries two times and a ratio.
class CNetFormTimed : public CNetNod {
    MW_DECLARE_CLASS(CNetFormTimed, CNetNod, 0x12004000)
public:
    u32 GetDeliveryLevel() override { return 20; }
    // Value; T1; u16 (T2 - T1) modulo 65536; u16 ratio (RatioToWire). Reading: T2 = T1 + the u16.
    u32 Archive(CClassicArchive& archive) override;

    // The ratio's 15 significant bits: the integer part of ratio x 65535 modulo 65536, shifted
    // right by one (0 for NaN and values too large for 64 bits).
    static u16 RatioToWire(f32 ratio);
    static f32 RatioFromWire(u16 word);

    u32 m_Value = 0;
    u32 m_Time1 = 0;
    u32 m_Time2 = 0;
    f32 m_Ratio = 0;
};

class CNetFormPing : public CNetFormTimed {
    MW_DECLARE_CLASS(CNetFormPing, CNetFormTimed, 0x12009000)
public:
    u32 NeedsQueue() override { return m_QueueWord; }
    u32 GetDeliveryFlag() override { return 1; }
    // The timed body, then the boolean; the queue word is not archived.
    u32 Archive(CClassicArchive& archive) override;

    u32 m_Bool = 0;
    u32 m_QueueWord = 0;
};

// Connection management. Writing is gated by the command alone (and command 1's version rule);
// reading also stops after the command when the version is not 1 to 4, unless the command is 1.
class CNetFormConnectionAdmin : public CNetNod {
    MW_DECLARE_CLASS(CNetFormConnectionAdmin, CNetNod, 0x12010000)
public:
    CNetFormConnectionAdmin() = default;
    ~CNetFormConnectionAdmin() override;

    u32 NeedsQueue() override { return m_Command == 2 || m_Command == 3 ? 0 : 1; }
    u32 IsCompressed() override { return m_Command == 6 ? 1 : 0; }
    u32 Archive(CClassicArchive& archive) override;

    u32 m_Version = 0xFFFFFFFF;
    u32 m_Command = 11;
    CNetClientInfo m_ClientInfo;
    CClassicString m_Text1;
    u8 m_Byte1 = 0;
    u32 m_Flag1 = 0;
    CClassicString m_Text2;
    u32 m_Value1 = 0;
    u32 m_Flag2 = 0;
    u32 m_Value2 = 0;
    // Owned; the data of command 6 (written whole, from its start).
    CClassicBufferMemory* m_Buffer = nullptr;
};

// One message of the peer-to-peer file transfer.
class CNetFileTransferForm : public CNetNod {
    MW_DECLARE_CLASS(CNetFileTransferForm, CNetNod, 0x1201b000)
public:
    // The data of kind 6 travel in pieces of at most this many bytes.
    static constexpr u32 s_DataPiece = 512;

    CNetFileTransferForm() = default;
    // The kind and version 2.
    explicit CNetFileTransferForm(u32 kind) : m_Kind(kind), m_Version(2) {}
    ~CNetFileTransferForm() override;

    u32 NeedsQueue() override { return 1; }
    u32 GetQueuePriority() override { return m_Kind == 6 ? 32 : 0; }
    u32 Archive(CClassicArchive& archive) override;

    u32 m_Kind = 12;
    u8 m_Checksum[4] = {};
    u16 m_UploadId = 0;
    u16 m_DownloadId = 0;
    u32 m_Value1 = 0;
    u8 m_Version = 0;
    u8 m_Byte1 = 0;
    u32 m_Flag1 = 0;
    u32 m_Flag2 = 0;
    CNetAddress m_Address;
    u32 m_Flag3 = 0;
    u32 m_Flag4 = 0;
    CClassicString m_Text;
    u32 m_Value2 = 0;
    // Owned, or null; the data of kind 6, written whole from its start.
    CClassicBufferMemory* m_Data = nullptr;
    u32 m_Flag5 = 0;
    u8 m_Byte2 = 0;
    CClassicWideString m_WideText;
    u8 m_Byte3 = 0;
};

// One remote call: its number, a text and two flags, carried and not interpreted here.
class CNetFormRpcCall : public CNetNod {
    MW_DECLARE_CLASS(CNetFormRpcCall, CNetNod, 0x12021000)
public:
    u32 NeedsQueue() override { return 1; }
    // Number, text, one byte of flags: bit 0 the first flag set, bit 1 the second. Reading
    // gives the bits as they stand (first = byte & 1, second = byte & 2).
    u32 Archive(CClassicArchive& archive) override;

    CClassicString m_Text;
    u32 m_Number = 0;
    u32 m_Flag1 = 0;
    u32 m_Flag2 = 0;
};
