#include "net/message/NetForms.h"

#include <algorithm>
#include <cmath>

MW_DEFINE_CLASS(CNetServerInfo, MwFactory<CNetServerInfo>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetClientInfo, MwFactory<CNetClientInfo>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormQuerrySessions, MwFactory<CNetFormQuerrySessions>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormEnumSessions, MwFactory<CNetFormEnumSessions>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormTimed, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormPing, MwFactory<CNetFormPing>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormConnectionAdmin, MwFactory<CNetFormConnectionAdmin>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFileTransferForm, MwFactory<CNetFileTransferForm>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormRpcCall, MwFactory<CNetFormRpcCall>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

void Text(CClassicArchive& archive, CClassicString& text) {
    archive.SerializeStrings(&text, 1);
}

void U32(CClassicArchive& archive, u32& value) {
    archive.SerializeUInts(&value, 1);
}

void U16(CClassicArchive& archive, u16& value) {
    archive.SerializeShorts(&value, 1);
}

void U8(CClassicArchive& archive, u8& value) {
    archive.SerializeBytes(&value, 1);
}

// A u32 flag that travels as its low byte and reads back as that byte.
void FlagByte(CClassicArchive& archive, u32& flag) {
    u8 byte = u8(flag);
    archive.SerializeBytes(&byte, 1);
    if (!archive.m_Writing)
        flag = byte;
}

// Raw data behind its u32 size: written whole from the buffer's start in pieces of at most
// `piece` bytes, the buffer's position left as it was; read, after the size was checked, into
// the buffer (emptied first) in the same pieces, so that no more is allocated than arrived.
void SizedData(CClassicArchive& archive, CClassicBufferMemory*& buffer, u32 piece) {
    u32 size = buffer ? buffer->GetSize() : 0;
    NetArchiveSize(archive, size, kClassicBufferMemoryMaxSize);
    if (archive.m_Writing) {
        for (u32 at = 0; at < size; at += piece)
            archive.WriteRaw(buffer->GetData() + at, std::min(piece, size - at));
        return;
    }
    if (!buffer)
        buffer = new CClassicBufferMemory;
    buffer->Clear();
    u8 chunk[512];
    for (u32 at = 0; at < size; at += sizeof chunk) {
        const u32 n = std::min<u32>(sizeof chunk, size - at);
        archive.ReadRaw(chunk, n);
        if (buffer->Write(chunk, n) != n)
            throw CClassicBufferException(kClassicBufferErrorWriteRefused,
                                          u"Form data refused by the memory stream");
    }
    buffer->Rewind();
}

} // namespace

void NetArchiveSize(CClassicArchive& archive, u32& size, u32 limit) {
    archive.SerializeUInts(&size, 1);
    if (!archive.m_Writing)
        archive.CheckReadSize(size, limit);
}

// ---------------------------------------------------------------------------------------------
// Peer descriptions

u32 CNetServerInfo::Archive(CClassicArchive& archive) {
    Text(archive, m_Text1);
    Text(archive, m_Text2);
    Text(archive, m_Text3);
    Text(archive, m_Text4);
    m_Address2.Archive(archive);
    m_Address1.Archive(archive);
    if (!archive.m_Writing) {
        m_DatagramAddress = CNetAddress();
        m_StreamAddress = CNetAddress();
    }
    return 0;
}

u32 CNetClientInfo::Archive(CClassicArchive& archive) {
    ArchiveShort(archive);
    m_Address2.Archive(archive);
    return 0;
}

u32 CNetClientInfo::ArchiveShort(CClassicArchive& archive) {
    Text(archive, m_Text1);
    Text(archive, m_Text2);
    Text(archive, m_Text3);
    Text(archive, m_Text4);
    m_Address1.Archive(archive);
    return 0;
}

u32 CNetFormQuerrySessions::Archive(CClassicArchive& archive) {
    Text(archive, m_Text1);
    Text(archive, m_Text2);
    m_Address.Archive(archive);
    U32(archive, m_Value);
    return 0;
}

u32 CNetFormEnumSessions::Archive(CClassicArchive& archive) {
    U32(archive, m_Value);
    m_ServerInfo.Archive(archive);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Timed forms

u16 CNetFormTimed::RatioToWire(f32 ratio) {
    const double p = double(ratio) * 65535.0;
    // Converting a double outside the range of i64 is undefined: such values, and NaN, give 0.
    if (std::isnan(p) || std::fabs(p) >= 9223372036854775808.0)
        return 0;
    return u16((u64(i64(p)) & 0xFFFF) >> 1);
}

f32 CNetFormTimed::RatioFromWire(u16 word) {
    return f32(word * (1.0 / 32767.5));
}

u32 CNetFormTimed::Archive(CClassicArchive& archive) {
    U32(archive, m_Value);
    U32(archive, m_Time1);
    u16 delta = u16(m_Time2 - m_Time1);
    U16(archive, delta);
    u16 ratio = RatioToWire(m_Ratio);
    U16(archive, ratio);
    if (!archive.m_Writing) {
        m_Time2 = m_Time1 + delta;
        m_Ratio = RatioFromWire(ratio);
    }
    return 0;
}

u32 CNetFormPing::Archive(CClassicArchive& archive) {
    CNetFormTimed::Archive(archive);
    archive.SerializeBools(&m_Bool, 1);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Connection management

CNetFormConnectionAdmin::~CNetFormConnectionAdmin() {
    delete m_Buffer;
}

u32 CNetFormConnectionAdmin::Archive(CClassicArchive& archive) {
    U32(archive, m_Version);
    U32(archive, m_Command);
    const bool knownVersion = m_Version >= 1 && m_Version <= 4;
    if (m_Command > 10 || (!archive.m_Writing && !knownVersion && m_Command != 1))
        return 0;
    switch (m_Command) {
        case 0:
            if (m_Version < 3)
                m_ClientInfo.ArchiveShort(archive);
            else
                m_ClientInfo.Archive(archive);
            if (m_Version >= 2)
                Text(archive, m_Text1);
            if (m_Version >= 4)
                U8(archive, m_Byte1);
            break;
        case 1:
            if (knownVersion) {
                archive.SerializeBools(&m_Flag1, 1);
                Text(archive, m_Text2);
                U32(archive, m_Value1);
            }
            break;
        case 2:
        case 3:
            U32(archive, m_Value1);
            break;
        case 4:
            archive.SerializeBools(&m_Flag2, 1);
            break;
        case 5:
        case 7:
            U32(archive, m_Value2);
            break;
        case 6:
            U32(archive, m_Value2);
            SizedData(archive, m_Buffer, kClassicBufferMemoryMaxSize);
            break;
        case 9:
            Text(archive, m_ClientInfo.m_Text1);
            Text(archive, m_ClientInfo.m_Text2);
            break;
        case 10:
            archive.SerializeBools(&m_Flag1, 1);
            break;
        default: // 8: nothing
            break;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// File transfer

CNetFileTransferForm::~CNetFileTransferForm() {
    delete m_Data;
}

u32 CNetFileTransferForm::Archive(CClassicArchive& archive) {
    U32(archive, m_Kind);
    if (m_Kind > 11)
        return 0;
    const auto checksum = [&] { archive.SerializeRaw(m_Checksum, sizeof m_Checksum); };
    const auto upDown = [&] {
        U16(archive, m_UploadId);
        U16(archive, m_DownloadId);
    };
    switch (m_Kind) {
        case 0: {
            U8(archive, m_Version);
            checksum();
            U32(archive, m_Value1);
            U16(archive, m_DownloadId);
            u8 flags = u8((m_Flag1 ? 1 : 0) | (m_Flag2 ? 2 : 0));
            U8(archive, flags);
            if (!archive.m_Writing) {
                m_Flag1 = flags & 1;
                m_Flag2 = flags & 2;
            }
            U8(archive, m_Byte1);
            m_Address.Archive(archive);
            break;
        }
        case 1:
            checksum();
            FlagByte(archive, m_Flag3);
            U16(archive, m_DownloadId);
            if (m_Flag3) {
                U16(archive, m_UploadId);
                FlagByte(archive, m_Flag4);
            }
            break;
        case 3:
            checksum();
            FlagByte(archive, m_Flag3);
            upDown();
            break;
        case 4:
            checksum();
            archive.SerializeWideStrings(&m_WideText, 1);
            upDown();
            U8(archive, m_Byte3);
            break;
        case 5:
            checksum();
            upDown();
            FlagByte(archive, m_Flag5);
            U8(archive, m_Byte2);
            break;
        case 6:
            checksum();
            U16(archive, m_DownloadId);
            U16(archive, m_UploadId);
            U32(archive, m_Value2);
            SizedData(archive, m_Data, s_DataPiece);
            break;
        case 11:
            checksum();
            U16(archive, m_DownloadId);
            archive.SerializeWideStrings(&m_WideText, 1);
            Text(archive, m_Text);
            break;
        default: // 2, 7, 8, 9, 10
            checksum();
            upDown();
            break;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Remote call

u32 CNetFormRpcCall::Archive(CClassicArchive& archive) {
    U32(archive, m_Number);
    Text(archive, m_Text);
    u8 flags = u8((m_Flag1 != 0 ? 1 : 0) | (m_Flag2 != 0 ? 2 : 0));
    U8(archive, flags);
    if (!archive.m_Writing) {
        m_Flag1 = flags & 1;
        m_Flag2 = flags & 2;
    }
    return 0;
}
