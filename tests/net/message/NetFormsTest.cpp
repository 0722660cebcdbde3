// The message forms: bodies rebuilt byte for byte by independent Python code (struct, ipaddress,
// python3-lzo), round trips through both framings and the test frame reader, the ratio, the
// delivery answers, the refusal of hostile lengths, and the nod-carrying forms with their
// images, references and memory file ids.
#include "net/message/NetForms.h"

#include "NetTestSupport.h"
#include "core/nod/MwEngine.h"
#include "net/engine/NetEngine.h"
#include "net/message/NetNodForms.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFids.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/net/NetFrameReader.h"
#include "tests/support/net/TestPythonPeer.h"
#include "tests/system/archive/ArchiveTestNods.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

class NetForms : public CNetFixture {};

std::string Str(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

std::u16string Str(const CClassicWideString& text) {
    return std::u16string(text.GetText(), text.GetLength());
}

CNetAddress Address(const char* text) {
    return CNetAddress::FromText(CClassicString(text));
}

// The body the form writes.
std::string Body(CNetNod& form) {
    CClassicBufferMemory stream;
    CClassicArchive archive;
    archive.SetBuffer(&stream);
    archive.m_Writing = 1;
    EXPECT_EQ(form.Archive(archive), 0u);
    archive.DetachBuffer(true);
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
}

// Reads a body into the form; false when the read was refused.
bool ReadBody(CNetNod& form, const std::string& body) {
    auto* stream = new CClassicBufferMemory;
    stream->Write(body.data(), u32(body.size()));
    stream->Rewind();
    CClassicArchive archive;
    archive.SetBuffer(stream);
    try {
        form.Archive(archive);
    } catch (const CClassicBufferException&) {
        return false;
    }
    return true;
}

std::string Frame(CNetNod& form, i32 mode) {
    CNetClassLink record;
    record.m_ClassId = form.GetClassId();
    record.m_ClassIndex = 7;
    CNetLinkSettings settings;
    settings.m_FramingMode = mode;
    settings.m_Classes = &record;
    settings.m_ClassCount = 1;
    CClassicBufferMemory stream;
    u32 sequence = 0;
    form.Write(stream, settings, sequence);
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
}

// The frame of the form in each framing, read back by the frame reader into a form of its class.
template <class C>
void ForEachFramedCopy(C& form, const std::function<void(C&)>& check) {
    for (i32 mode : {CNetLinkSettings::s_FramingFull, CNetLinkSettings::s_FramingCompact}) {
        SCOPED_TRACE(mode);
        const std::string frame = Frame(form, mode);
        CNetClassLink record;
        record.m_ClassId = form.GetClassId();
        record.m_ClassIndex = 7;
        CNetLinkSettings settings;
        settings.m_FramingMode = mode;
        settings.m_Classes = &record;
        settings.m_ClassCount = 1;
        CNetFrame read;
        ASSERT_TRUE(NetReadFrame(reinterpret_cast<const u8*>(frame.data()), u32(frame.size()),
                                 settings, read));
        EXPECT_EQ(read.m_Compressed, form.IsCompressed() != 0);
        ASSERT_EQ(read.m_Form->GetClassId(), C::s_ClassId);
        check(*static_cast<C*>(read.m_Form));
    }
}

// Each case's body (and full frame) goes to the Python rebuilder with its field values.
struct SPythonCase {
    std::string Name;
    std::string Class;
    std::string Fields; // a JSON object
    std::string Body;
    std::string Frame;
};

void CheckWithPython(const std::vector<SPythonCase>& cases) {
    std::string input;
    for (const SPythonCase& c : cases) {
        input += "{\"case\": \"" + c.Name + "\", \"class\": \"" + c.Class +
                 "\", \"fields\": " + c.Fields + ", \"body\": \"" +
                 TestHex(reinterpret_cast<const u8*>(c.Body.data()), c.Body.size()) +
                 "\", \"frame\": \"" +
                 TestHex(reinterpret_cast<const u8*>(c.Frame.data()), c.Frame.size()) + "\"}\n";
    }
    const std::string script = std::string("import runpy, sys\nsys.path.insert(0, '") +
                               ENGINE_TEST_SOURCE_DIR +
                               "/tests/net')\nrunpy.run_path('" ENGINE_TEST_SOURCE_DIR
                               "/tests/net/formcheck.py', run_name='__main__')\n";
    const std::string output = RunPython(script, input);
    size_t lines = 0;
    for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = output.substr(at, end - at);
        ++lines;
        EXPECT_EQ(TestJsonField(line, "ok"), "true") << line;
    }
    EXPECT_EQ(lines, cases.size()) << output;
}

SPythonCase PythonCase(const std::string& name, CNetNod& form, const std::string& fields,
                       const std::string& cls = "") {
    return {name, cls.empty() ? form.GetClassInfo()->m_Name : cls, fields, Body(form),
            Frame(form, CNetLinkSettings::s_FramingFull)};
}

const char* kClientFields =
    R"({"t1": "one", "t2": "", "t3": "three", "t4": "four", "a1": "10.1.2.3:2350", "a2": "192.168.7.9:80"})";

void FillClient(CNetClientInfo& info) {
    info.m_Text1 = "one";
    info.m_Text3 = "three";
    info.m_Text4 = "four";
    info.m_Address1 = Address("10.1.2.3:2350");
    info.m_Address2 = Address("192.168.7.9:80");
}

bool SameAddress(const CNetAddress& a, const CNetAddress& b) {
    return a.GetAddress() == b.GetAddress() && a.GetPort() == b.GetPort();
}

bool SameClient(const CNetClientInfo& a, const CNetClientInfo& b, bool shortBody = false) {
    return Str(a.m_Text1) == Str(b.m_Text1) && Str(a.m_Text2) == Str(b.m_Text2) &&
           Str(a.m_Text3) == Str(b.m_Text3) && Str(a.m_Text4) == Str(b.m_Text4) &&
           SameAddress(a.m_Address1, b.m_Address1) &&
           (shortBody || SameAddress(a.m_Address2, b.m_Address2));
}

// ---------------------------------------------------------------------------------------------

TEST_F(NetForms, RatioTable) {
    struct Row {
        f32 Ratio;
        u16 Wire;
    };
    const Row rows[] = {{1.0f, 32767},      {0.5f, 16383}, {0.0f, 0},
                        {-0.25f, 24576},    {2.0f, 32767}, {40000.0f, 12768},
                        {std::nanf(""), 0}, {1e30f, 0},    {-1e30f, 0}};
    for (const Row& row : rows) {
        EXPECT_EQ(CNetFormTimed::RatioToWire(row.Ratio), row.Wire) << row.Ratio;
        EXPECT_EQ(CNetFormTimed::RatioFromWire(row.Wire), f32(row.Wire * (1.0 / 32767.5)));
    }
    EXPECT_EQ(CNetFormTimed::RatioFromWire(32767), f32(32767 / 32767.5));
}

TEST_F(NetForms, DeliveryAnswers) {
    struct Row {
        std::function<CNetNod*()> Make;
        u32 Queue, Compressed, Flag, Priority, Level;
    };
    const auto admin = [](u32 command) {
        auto* form = new CNetFormConnectionAdmin;
        form->m_Command = command;
        return form;
    };
    const auto transfer = [](u32 kind) { return new CNetFileTransferForm(kind); };
    const Row rows[] = {
        {[] { return new CNetServerInfo; }, 0, 0, 0, 0, 8},
        {[] { return new CNetClientInfo; }, 0, 0, 0, 0, 8},
        {[] { return new CNetFormQuerrySessions; }, 0, 0, 0, 0, 8},
        {[] { return new CNetFormEnumSessions; }, 0, 0, 0, 0, 8},
        {[] { return new CNetFormPing; }, 0, 0, 1, 0, 20},
        {[] {
             auto* ping = new CNetFormPing;
             ping->m_QueueWord = 5;
             return ping;
         },
         5, 0, 1, 0, 20},
        {[&] { return admin(0); }, 1, 0, 0, 0, 8},
        {[&] { return admin(2); }, 0, 0, 0, 0, 8},
        {[&] { return admin(3); }, 0, 0, 0, 0, 8},
        {[&] { return admin(6); }, 1, 1, 0, 0, 8},
        {[&] { return transfer(6); }, 1, 0, 0, 32, 8},
        {[&] { return transfer(9); }, 1, 0, 0, 0, 8},
        {[] { return new CNetFormNodsContainer; }, 1, 0, 0, 0, 8},
        {[] { return new CNetFormModelerPlugin; }, 1, 1, 0, 0, 8},
        {[] { return new CNetFormRpcCall; }, 1, 0, 0, 0, 8},
    };
    for (const Row& row : rows) {
        CNetNod* form = row.Make();
        form->AddRef();
        SCOPED_TRACE(form->GetClassInfo()->m_Name);
        EXPECT_EQ(form->NeedsQueue(), row.Queue);
        EXPECT_EQ(form->IsCompressed(), row.Compressed);
        EXPECT_EQ(form->GetDeliveryFlag(), row.Flag);
        EXPECT_EQ(form->GetQueuePriority(), row.Priority);
        EXPECT_EQ(form->GetDeliveryLevel(), row.Level);
        form->Dispose(); // gives the one reference back: the form goes
    }
}

// Both roads build the nine forms with their constructor values; every other id gives null.
TEST_F(NetForms, CreationByClassId) {
    CNetEngine engine;
    const u32 ids[] = {0x12002000, 0x12003000, 0x12007000, 0x12008000, 0x12009000,
                       0x1200a000, 0x1200e000, 0x12010000, 0x1201b000};
    for (u32 id : ids) {
        CMwNod* out = nullptr;
        CMwNodRef byEngine(engine.CreateByClassId(id, &out, 0));
        CMwNodRef byRegistry(CMwClassRegistry::CreateNodById(id));
        ASSERT_NE(byEngine.Get(), nullptr) << std::hex << id;
        ASSERT_NE(byRegistry.Get(), nullptr) << std::hex << id;
        EXPECT_EQ(out, byEngine.Get());
        EXPECT_EQ(byEngine->GetClassId(), id);
        EXPECT_EQ(byRegistry->GetClassId(), id);
        // Same constructor values: the same default body.
        EXPECT_EQ(Body(*static_cast<CNetNod*>(byEngine.Get())),
                  Body(*static_cast<CNetNod*>(byRegistry.Get())));
    }
    CMwNodRef admin(CMwClassRegistry::CreateNodById(0x12010000));
    EXPECT_EQ(static_cast<CNetFormConnectionAdmin*>(admin.Get())->m_Version, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<CNetFormConnectionAdmin*>(admin.Get())->m_Command, 11u);
    CMwNodRef transfer(CMwClassRegistry::CreateNodById(0x1201b000));
    EXPECT_EQ(static_cast<CNetFileTransferForm*>(transfer.Get())->m_Kind, 12u);
    EXPECT_EQ(static_cast<CNetFileTransferForm*>(transfer.Get())->m_Data, nullptr);
    const CNetFileTransferForm cancel(9);
    EXPECT_EQ(cancel.m_Kind, 9u);
    EXPECT_EQ(cancel.m_Version, 2);
    for (u32 id : {0x12004000u, 0x12001000u, 0x1200d000u, 0x12021000u, 0x12012000u}) {
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(engine.CreateByClassId(id, &out, 0), nullptr) << std::hex << id;
        EXPECT_EQ(out, nullptr);
    }
}

// The peer descriptions and the session forms: exact bodies and round trips.
TEST_F(NetForms, PeerAndSessionForms) {
    std::vector<SPythonCase> cases;

    CNetServerInfo server;
    server.m_Text1 = "name";
    server.m_Text2 = "map";
    server.m_Text4 = "x";
    server.m_Address1 = Address("1.2.3.4:5");
    server.m_Address2 = Address("250.251.252.253:65535");
    server.m_DatagramAddress = Address("9.9.9.9:9");
    const char* serverFields =
        R"({"t1": "name", "t2": "map", "t3": "", "t4": "x", "a1": "1.2.3.4:5", "a2": "250.251.252.253:65535"})";
    cases.push_back(PythonCase("server", server, serverFields));
    ForEachFramedCopy<CNetServerInfo>(server, [&](CNetServerInfo& read) {
        EXPECT_EQ(Str(read.m_Text1), Str(server.m_Text1));
        EXPECT_EQ(Str(read.m_Text4), Str(server.m_Text4));
        EXPECT_TRUE(SameAddress(read.m_Address1, server.m_Address1));
        EXPECT_TRUE(SameAddress(read.m_Address2, server.m_Address2));
        EXPECT_EQ(read.m_DatagramAddress.GetAddress(), 0u);
    });

    CNetClientInfo client;
    FillClient(client);
    cases.push_back(PythonCase("client", client, kClientFields));
    ForEachFramedCopy<CNetClientInfo>(
        client, [&](CNetClientInfo& read) { EXPECT_TRUE(SameClient(read, client)); });
    {
        CClassicBufferMemory stream;
        CClassicArchive archive;
        archive.SetBuffer(&stream);
        archive.m_Writing = 1;
        client.ArchiveShort(archive);
        archive.DetachBuffer(true);
        cases.push_back(
            {"client short", "CNetClientInfoShort", kClientFields,
             std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize()), ""});
    }

    CNetFormQuerrySessions query;
    query.m_Text1 = "game";
    query.m_Address = Address("127.0.0.1:2350");
    query.m_Value = 0xDEADBEEF;
    cases.push_back(PythonCase(
        "query", query,
        R"({"t1": "game", "t2": "", "address": "127.0.0.1:2350", "value": 3735928559})"));
    ForEachFramedCopy<CNetFormQuerrySessions>(query, [&](CNetFormQuerrySessions& read) {
        EXPECT_EQ(Str(read.m_Text1), "game");
        EXPECT_TRUE(SameAddress(read.m_Address, query.m_Address));
        EXPECT_EQ(read.m_Value, query.m_Value);
    });

    CNetFormEnumSessions sessions;
    sessions.m_Value = 3;
    sessions.m_ServerInfo.m_Text1 = "name";
    sessions.m_ServerInfo.m_Text2 = "map";
    sessions.m_ServerInfo.m_Text4 = "x";
    sessions.m_ServerInfo.m_Address1 = server.m_Address1;
    sessions.m_ServerInfo.m_Address2 = server.m_Address2;
    cases.push_back(PythonCase("sessions", sessions,
                               std::string(R"({"value": 3, "server": )") + serverFields + "}"));
    ForEachFramedCopy<CNetFormEnumSessions>(sessions, [&](CNetFormEnumSessions& read) {
        EXPECT_EQ(read.m_Value, 3u);
        EXPECT_EQ(Str(read.m_ServerInfo.m_Text2), "map");
        EXPECT_TRUE(SameAddress(read.m_ServerInfo.m_Address2, server.m_Address2));
    });

    // T2 - T1 of 70000 travels as 4464.
    CNetFormPing ping;
    ping.m_Value = 12;
    ping.m_Time1 = 0xFFFFFF00;
    ping.m_Time2 = 0xFFFFFF00 + 70000;
    ping.m_Ratio = 1.0f;
    ping.m_Bool = 1;
    ping.m_QueueWord = 1;
    cases.push_back(PythonCase(
        "ping", ping,
        R"({"value": 12, "t1": 4294967040, "t2": 4295037040, "ratio": 32767, "bool": 1})"));
    ForEachFramedCopy<CNetFormPing>(ping, [&](CNetFormPing& read) {
        EXPECT_EQ(read.m_Time1, ping.m_Time1);
        EXPECT_EQ(read.m_Time2, ping.m_Time1 + 4464);
        EXPECT_EQ(read.m_Ratio, f32(32767 / 32767.5));
        EXPECT_EQ(read.m_Bool, 1u);
        EXPECT_EQ(read.m_QueueWord, 0u); // not archived
    });
    CheckWithPython(cases);
}

std::string Bytes(u32 size) {
    std::string bytes(size, '\0');
    for (u32 i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

CClassicBufferMemory* Buffer(const std::string& bytes) {
    auto* buffer = new CClassicBufferMemory;
    buffer->Write(bytes.data(), u32(bytes.size()));
    return buffer;
}

std::string HexOf(const std::string& bytes) {
    return TestHex(reinterpret_cast<const u8*>(bytes.data()), bytes.size());
}

// Every command of the connection-admin form, and the version rule that only reading applies.
TEST_F(NetForms, ConnectionAdmin) {
    struct Row {
        const char* Name;
        u32 Version, Command;
        u32 ReadBack; // body bytes a reader takes: all unless the reading rule stops it
    };
    const Row rows[] = {
        {"client short", 1, 0, ~0u}, {"client text", 2, 0, ~0u}, {"client full", 4, 0, ~0u},
        {"password", 3, 1, ~0u},     {"value", 3, 2, ~0u},       {"value 3", 1, 3, ~0u},
        {"flag 2", 4, 4, ~0u},       {"value 2", 2, 5, ~0u},     {"data", 3, 6, ~0u},
        {"value 2 b", 3, 7, ~0u},    {"nothing", 3, 8, ~0u},     {"names", 3, 9, ~0u},
        {"flag 1", 3, 10, ~0u},      {"unknown", 3, 11, ~0u},    {"v7 c1", 7, 1, 8},
        {"v7 c2", 7, 2, 8},          {"v0 c4", 0, 4, 8},
    };
    const std::string data = Bytes(700);
    std::vector<SPythonCase> cases;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        CNetFormConnectionAdmin form;
        form.m_Version = row.Version;
        form.m_Command = row.Command;
        FillClient(form.m_ClientInfo);
        form.m_Text1 = "text one";
        form.m_Byte1 = 0xA5;
        form.m_Flag1 = 1;
        form.m_Text2 = "secret";
        form.m_Value1 = 77;
        form.m_Flag2 = 1;
        form.m_Value2 = 0x01020304;
        form.m_Buffer = Buffer(data);
        // The buffer's position does not matter: the data are written whole.
        form.m_Buffer->SetPosition(300);
        cases.push_back(PythonCase(
            row.Name, form,
            "{\"version\": " + std::to_string(row.Version) +
                ", \"command\": " + std::to_string(row.Command) + ", \"client\": " + kClientFields +
                R"(, "text1": "text one", "byte1": 165, "flag1": 1, "text2": "secret", "value1": 77, "flag2": 1, "value2": 16909060, "data": ")" +
                HexOf(data) + "\"}"));
        EXPECT_EQ(form.m_Buffer->GetPosition(), 300u);
        const std::string body = Body(form);
        CNetFormConnectionAdmin read;
        ASSERT_TRUE(ReadBody(read, body.substr(0, std::min<size_t>(body.size(), row.ReadBack))));
        if (row.ReadBack != ~0u) {
            // Stopped after the command: a body longer than that would be read no further.
            EXPECT_EQ(read.m_Value1, 0u);
            EXPECT_EQ(read.m_Flag1, 0u);
            EXPECT_EQ(read.m_Flag2, 0u);
            continue;
        }
        ForEachFramedCopy<CNetFormConnectionAdmin>(form, [&](CNetFormConnectionAdmin& got) {
            EXPECT_EQ(got.m_Version, row.Version);
            EXPECT_EQ(got.m_Command, row.Command);
            EXPECT_EQ(Body(got), body);
            if (row.Command == 6) {
                ASSERT_NE(got.m_Buffer, nullptr);
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.m_Buffer->GetData()),
                                      got.m_Buffer->GetSize()),
                          data);
            }
        });
    }
    // Version 7 with command 2 is written whole: only reading applies the version rule.
    CNetFormConnectionAdmin late;
    late.m_Version = 7;
    late.m_Command = 2;
    late.m_Value1 = 5;
    EXPECT_EQ(Body(late).size(), 12u);
    CNetFormConnectionAdmin fresh;
    EXPECT_EQ(HexOf(Body(fresh)), "ffffffff0b000000");
    CheckWithPython(cases);
}

// Every kind of the transfer form, with flags in their bytes and the data in pieces.
TEST_F(NetForms, FileTransfer) {
    const std::string data = Bytes(1300);
    std::vector<SPythonCase> cases;
    struct Row {
        const char* Name;
        u32 Kind;
        u32 Flag3;
        const char16_t* Wide;
        const char* WideUtf8;
        bool AtEnd; // the data buffer's position at its end
    };
    const Row rows[] = {
        {"kind 0", 0, 0, u"", "", false},
        {"kind 1 flag 3 zero", 1, 0, u"", "", false},
        {"kind 1 flag 3 set", 1, 0x1FF, u"", "", false},
        {"kind 2", 2, 0, u"", "", false},
        {"kind 3", 3, 0x102, u"", "", false},
        {"kind 4 ascii", 4, 0, u"file.Zun", "file.Zun", false},
        {"kind 4 wide", 4, 0, u"caf\u00e9 \u4e2d", "caf\u00e9 \u4e2d", false},
        {"kind 5", 5, 0, u"", "", false},
        {"kind 6", 6, 0, u"", "", false},
        {"kind 6 at its end", 6, 0, u"", "", true},
        {"kind 7", 7, 0, u"", "", false},
        {"kind 10", 10, 0, u"", "", false},
        {"kind 11", 11, 0, u"x\u00ff", "x\u00ff", false},
        {"kind 12", 12, 0, u"", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        CNetFileTransferForm form(row.Kind);
        const u8 checksum[4] = {0xDE, 0xAD, 0xBE, 0xEF};
        std::memcpy(form.m_Checksum, checksum, 4);
        form.m_UploadId = 0x1234;
        form.m_DownloadId = 0xFEDC;
        form.m_Value1 = 99;
        form.m_Byte1 = 0x11;
        form.m_Flag1 = 5; // non-zero: bit 0
        form.m_Flag2 = 0;
        form.m_Address = Address("81.82.83.84:8080");
        form.m_Flag3 = row.Flag3;
        form.m_Flag4 = 0x1AB;
        form.m_Text = "text";
        form.m_Value2 = 1300;
        if (row.Kind == 6) {
            form.m_Data = Buffer(data);
            if (!row.AtEnd)
                form.m_Data->Rewind();
        }
        form.m_Flag5 = 0x303;
        form.m_Byte2 = 0x22;
        form.m_WideText = CClassicWideString(row.Wide);
        form.m_Byte3 = 0x33;
        cases.push_back(PythonCase(
            row.Name, form,
            "{\"kind\": " + std::to_string(row.Kind) +
                R"(, "checksum": "deadbeef", "up": 4660, "down": 65244, "version": 2, "value1": 99, "byte1": 17, "flag1": 5, "flag2": 0, "address": "81.82.83.84:8080", "flag3": )" +
                std::to_string(row.Flag3) +
                R"(, "flag4": 427, "text": "text", "value2": 1300, "flag5": 771, "byte2": 34, "byte3": 51, "wide": ")" +
                row.WideUtf8 + "\", \"data\": \"" + (row.Kind == 6 ? HexOf(data) : "") + "\"}"));
        if (row.Kind == 12) {
            EXPECT_EQ(HexOf(Body(form)), "0c000000");
            continue;
        }
        const std::string body = Body(form);
        ForEachFramedCopy<CNetFileTransferForm>(form, [&](CNetFileTransferForm& got) {
            EXPECT_EQ(got.m_Kind, row.Kind);
            EXPECT_EQ(Body(got), body);
            if (row.Kind == 0) {
                EXPECT_EQ(got.m_Flag1, 1u); // read back as the masked byte
                EXPECT_EQ(got.m_Flag2, 0u);
                EXPECT_EQ(got.m_Version, 2);
            }
            if (row.Kind == 1 || row.Kind == 3)
                EXPECT_EQ(got.m_Flag3, row.Flag3 & 0xFF);
            if (row.Kind == 4 || row.Kind == 11)
                EXPECT_EQ(Str(got.m_WideText), Str(form.m_WideText));
            if (row.Kind == 6) {
                ASSERT_NE(got.m_Data, nullptr);
                EXPECT_EQ(got.m_Data->GetSize(), 1300u);
                EXPECT_EQ(std::memcmp(got.m_Data->GetData(), data.data(), 1300), 0);
            }
        });
        if (row.Kind == 6 && row.AtEnd)
            EXPECT_EQ(form.m_Data->GetPosition(), 1300u);
    }
    CheckWithPython(cases);
}

// Lengths and counts from the wire are checked before anything is allocated; a read that is
// refused throws the stream exception, which the reader catches.
// The call's body carries the two flags as bits of one byte; reading keeps the bits where they
// stand, so a set second flag comes back as 2.
TEST_F(NetForms, RpcCall) {
    CNetFormRpcCall fresh;
    EXPECT_TRUE(fresh.m_Text.IsEmpty());
    struct Case {
        u32 Flag1, Flag2;
        u8 Byte;
        u32 Read1, Read2;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0}, {1, 0, 1, 1, 0}, {0, 1, 2, 0, 2}, {1, 1, 3, 1, 2}, {7, 0x100, 3, 1, 2},
    };
    std::vector<SPythonCase> python;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Byte);
        CNetFormRpcCall form;
        form.m_Number = 0x01020304 + c.Byte;
        form.m_Text = "call";
        form.m_Flag1 = c.Flag1;
        form.m_Flag2 = c.Flag2;
        const std::string body = Body(form);
        ASSERT_EQ(body.size(), 13u);
        EXPECT_EQ(u8(body[12]), c.Byte);
        python.push_back(
            PythonCase("rpc" + std::to_string(c.Byte), form,
                       "{\"number\": " + std::to_string(form.m_Number) +
                           ", \"text\": \"call\", \"flags\": " + std::to_string(c.Byte) + "}"));
        ForEachFramedCopy<CNetFormRpcCall>(form, [&](CNetFormRpcCall& read) {
            EXPECT_EQ(read.m_Number, form.m_Number);
            EXPECT_EQ(Str(read.m_Text), "call");
            EXPECT_EQ(read.m_Flag1, c.Read1);
            EXPECT_EQ(read.m_Flag2, c.Read2);
        });
    }
    CheckWithPython(python);

    // A byte's other bits are not flags; a text longer than the bytes left, or a missing flags
    // byte, refuses the body.
    CNetFormRpcCall read;
    EXPECT_TRUE(ReadBody(read, std::string("\x05\0\0\0\x01\0\0\0x\xFE", 10)));
    EXPECT_EQ(read.m_Number, 5u);
    EXPECT_EQ(read.m_Flag1, 0u);
    EXPECT_EQ(read.m_Flag2, 2u);
    EXPECT_FALSE(ReadBody(read, std::string("\x05\0\0\0\xFF\xFF\xFF\x7Fx\x01", 10)));
    EXPECT_FALSE(ReadBody(read, std::string("\x05\0\0\0\x01\0\0\0x", 9)));
}

TEST_F(NetForms, HostileLengthsAreRefused) {
    const auto u32le = [](u32 v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    struct Row {
        const char* Name;
        std::function<CNetNod*()> Make;
        std::string Body;
    };
    const Row rows[] = {
        {"kind 6 n of 4 GB", [] { return new CNetFileTransferForm; },
         u32le(6) + "abcd" + std::string(4, '\0') + u32le(0) + u32le(0xFFFFFFFF) + Bytes(10)},
        {"command 6 n one past the end", [] { return new CNetFormConnectionAdmin; },
         u32le(3) + u32le(6) + u32le(0) + u32le(11) + Bytes(10)},
        {"text past the end", [] { return new CNetServerInfo; }, u32le(1000) + "abc"},
        {"text above the limit", [] { return new CNetClientInfo; }, u32le(0xFFFFFFF0) + "abc"},
        {"container count", [] { return new CNetFormNodsContainer; }, u32le(0x40000000)},
        {"image past the end", [] { return new CNetFormNodsContainer; },
         u32le(1) + u32le(0x7FFFFFFF) + Bytes(16)},
        {"plugin nod count", [] { return new CNetFormModelerPlugin; },
         u32le(5) + u32le(0x10000000) + u32le(0)},
        {"plugin record count", [] { return new CNetFormModelerPlugin; },
         u32le(1) + u32le(0) + u32le(2) + Bytes(60)},
        {"plugin pair count", [] { return new CNetFormModelerPlugin; },
         u32le(5) + u32le(0) + u32le(3) + Bytes(16)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        CMwNodRef form(row.Make());
        CLogWatch log;
        EXPECT_FALSE(ReadBody(*static_cast<CNetNod*>(form.Get()), row.Body));
        EXPECT_NE(log.Since(), "");
    }
}

void HostFacts(platform::HostFacts& facts) {
    facts = platform::HostFacts();
    facts.SystemName = "Linux";
    facts.PhysicalMemory = u64(1) << 30;
    facts.ProcessorCount = 1;
    facts.ActiveProcessorMask = 1;
}

platform::AdapterSource Adapter(platform::Adapter& out, std::string&) {
    out = platform::Adapter();
    return platform::AdapterSource::File;
}

// An engine manager with the System engine built over fixed host facts (nothing of the machine
// is read), its registry in a folder of the test's own.
class CNetSystemEngine {
public:
    CNetSystemEngine() : m_Checksum(g_SystemExeChecksum), m_Manager(new CMwEngineManager) {
        setenv("ENGINE_REGISTRY_DIR", m_Registry.Path().c_str(), 1);
        g_SystemExeChecksum = 0x12345678;
        m_Manager->AddRef();
        SSystemEngineHost host;
        host.HostFacts = &HostFacts;
        host.Adapter = &Adapter;
        host.CurrentFolder = CClassicWideString(u"C:\\Game");
        m_Engine = SystemRegisterEngine(host);
    }
    ~CNetSystemEngine() {
        if (g_MwEngineManager == m_Manager)
            m_Manager->ShutdownEngines();
        m_Manager->Release();
        unsetenv("ENGINE_REGISTRY_DIR");
        g_SystemExeChecksum = m_Checksum;
    }
    CNetSystemEngine(const CNetSystemEngine&) = delete;
    CNetSystemEngine& operator=(const CNetSystemEngine&) = delete;

    CSystemEngine& Engine() { return *m_Engine; }

private:
    CNetTempFolder m_Registry;
    u32 m_Checksum;
    CMwEngineManager* m_Manager;
    CSystemEngine* m_Engine = nullptr;
};

// The nod-carrying forms need the System engine (memory file ids, the archive loader) and the
// archive test nods, whose links hold references: an image carries a nested nod.
class NetNodForms : public ::testing::Test {
protected:
    void SetUp() override {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_ArchiveTestClassList);
        CMwClassRegistry::AddClassList(g_NetClassList);
        CMwClassRegistry::Init();
        m_LiveNods = CMwNod::GetLiveNodCount();
        m_Host = std::make_unique<CNetSystemEngine>();
        ASSERT_NE(&m_Host->Engine(), nullptr);
    }
    void TearDown() override {
        m_Host.reset();
        EXPECT_EQ(CMwNod::GetLiveNodCount(), m_LiveNods) << "nods left alive by the test";
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }

    u32 MemoryFids() { return m_Host->Engine().m_MemoryFids->m_Leaves.m_Count; }

    // A nod holding a linked nod (which holds the only reference to it).
    static CArchiveTestNod* NewNod(u32 value) {
        auto* nod = new CArchiveTestNod;
        nod->m_Value = value;
        nod->m_Name = CClassicWideString(u"nod");
        auto* child = new CArchiveTestNod;
        child->m_Value = value + 100;
        nod->Link(child);
        return nod;
    }

    static u32 ValueOf(CMwNod* nod) {
        EXPECT_NE(nod, nullptr);
        return nod ? static_cast<CArchiveTestNod*>(nod)->m_Value : 0;
    }
    static u32 ChildValueOf(CMwNod* nod) {
        auto* test = static_cast<CArchiveTestNod*>(nod);
        EXPECT_EQ(test->m_Links.size(), 1u);
        return test->m_Links.empty() ? 0 : ValueOf(test->m_Links[0].Get());
    }

    // The image of a nod alone, as the forms write it (u32 size + bytes).
    static std::string Image(CMwNod* nod) {
        CNetFormNodsContainer form;
        form.m_Nods = {nod};
        return Body(form).substr(4);
    }

private:
    u32 m_LiveNods = 0;
    std::unique_ptr<CNetSystemEngine> m_Host;
};

std::string U32le(u32 v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

TEST_F(NetNodForms, ContainerCarriesNods) {
    CMwNodRef a(NewNod(1)), b(NewNod(2));
    CNetFormNodsContainer form;
    form.m_Nods = {a.Get(), nullptr, b.Get()};
    const std::string body = Body(form);
    // Sending takes no reference and leaves no memory file id.
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(MemoryFids(), 0u);
    EXPECT_EQ(body.substr(0, 4), U32le(3));
    EXPECT_EQ(body.substr(4, 8), U32le(u32(body.size() - 16) / 2) + "ZUN\x06");
    ForEachFramedCopy<CNetFormNodsContainer>(form, [&](CNetFormNodsContainer& got) {
        ASSERT_EQ(got.m_Nods.size(), 3u);
        EXPECT_EQ(got.m_OwnsReferences, 1u);
        EXPECT_EQ(ValueOf(got.m_Nods[0]), 1u);
        EXPECT_EQ(ChildValueOf(got.m_Nods[0]), 101u);
        EXPECT_EQ(got.m_Nods[1], nullptr); // the empty image
        EXPECT_EQ(ValueOf(got.m_Nods[2]), 2u);
        // The loader gives a nod no reference: the form holds the one it has.
        EXPECT_EQ(got.m_Nods[0]->GetRefCount(), 1);
        EXPECT_NE(got.m_Nods[0], a.Get());
        EXPECT_EQ(MemoryFids(), 0u);
        EXPECT_EQ(Body(got), body);
    });

    CNetFormNodsContainer empty;
    EXPECT_EQ(HexOf(Body(empty)), "00000000");
    CheckWithPython({PythonCase("empty", empty, "{}")});
}

// An image that does not load leaves null and reading goes on; a read refused half-way gives back
// the nods it loaded (the fixture checks that none is left).
TEST_F(NetNodForms, DamagedImages) {
    CMwNodRef a(NewNod(1)), b(NewNod(2));
    const std::string damaged = U32le(9) + "ZUN\x06garbage";
    const std::string imageA = Image(a.Get()), imageB = Image(b.Get());
    {
        CNetFormNodsContainer form;
        ASSERT_TRUE(ReadBody(form, U32le(3) + imageA + damaged.substr(0, 4 + 9) + imageB));
        ASSERT_EQ(form.m_Nods.size(), 3u);
        EXPECT_EQ(ValueOf(form.m_Nods[0]), 1u);
        EXPECT_EQ(form.m_Nods[1], nullptr);
        EXPECT_EQ(ValueOf(form.m_Nods[2]), 2u);
        EXPECT_EQ(MemoryFids(), 0u);
    }
    // A truncated second image; a pair count past the end after two loaded nods.
    CNetFormNodsContainer container;
    EXPECT_FALSE(ReadBody(container, U32le(2) + imageA + U32le(4000) + "ZUN"));
    EXPECT_TRUE(container.m_Nods.empty());
    CNetFormModelerPlugin plugin;
    EXPECT_FALSE(ReadBody(plugin, U32le(5) + U32le(2) + imageA + imageB + U32le(9)));
    EXPECT_TRUE(plugin.m_Nods.empty());
    EXPECT_EQ(MemoryFids(), 0u);
}

TEST_F(NetNodForms, ModelerPluginKinds) {
    CMwNodRef a(NewNod(1)), b(NewNod(2));
    std::vector<SPythonCase> cases;
    for (u32 kind : {0u, 1u, 2u, 3u, 4u, 5u, 9u}) {
        SCOPED_TRACE(kind);
        CNetFormModelerPlugin form;
        form.m_Kind = kind;
        form.m_Nod = a.Get();
        form.m_Nods = {b.Get(), a.Get()};
        SNetModelerRecord record;
        for (u32 i = 0; i < 52; ++i)
            record.m_Data[i] = u8(i + 1);
        record.m_Name = CMwId::FromName("Wheel");
        form.m_Records = {record, record};
        form.m_Records[1].m_Name = CMwId::FromName("Body");
        form.m_Text1 = "one";
        form.m_Text2 = "two";
        form.m_Text3 = "three";
        form.m_TextPairs = {{"key", "value"}, {"", "x"}};
        if (kind >= 2 && kind != 5)
            cases.push_back(PythonCase("plugin " + std::to_string(kind), form,
                                       "{\"kind\": " + std::to_string(kind) +
                                           R"(, "texts": ["one", "two", "three"], "pairs": []})"));
        if (kind == 4)
            EXPECT_EQ(HexOf(Body(form)), "04000000");
        const std::string body = Body(form);
        EXPECT_EQ(a->GetRefCount(), 1);
        ForEachFramedCopy<CNetFormModelerPlugin>(form, [&](CNetFormModelerPlugin& got) {
            EXPECT_EQ(got.m_Kind, kind);
            EXPECT_EQ(Body(got), body);
            // The form does not own what it read: the test takes the nods.
            std::vector<CMwNodRef> taken;
            for (CMwNod* nod : got.m_Nods)
                taken.emplace_back(nod);
            if (got.m_Nod)
                taken.emplace_back(got.m_Nod);
            if (kind == 0)
                EXPECT_EQ(ValueOf(got.m_Nod), 1u);
            if (kind == 1 || kind == 5) {
                ASSERT_EQ(got.m_Nods.size(), 2u);
                EXPECT_EQ(ValueOf(got.m_Nods[0]), 2u);
                EXPECT_EQ(ChildValueOf(got.m_Nods[1]), 101u);
                ASSERT_EQ(got.m_TextPairs.size(), 2u);
                EXPECT_EQ(Str(got.m_TextPairs[0].second), "value");
            }
            if (kind == 1) {
                ASSERT_EQ(got.m_Records.size(), 2u);
                EXPECT_EQ(got.m_Records[1].m_Name.m_Value, CMwId::FromName("Body").m_Value);
                EXPECT_EQ(std::memcmp(got.m_Records[0].m_Data, record.m_Data, 52), 0);
            }
            if (kind == 3)
                EXPECT_EQ(Str(got.m_Text3), "three");
            got.m_Nods.clear();
            got.m_Nod = nullptr;
        });
        EXPECT_EQ(MemoryFids(), 0u);
    }
    CheckWithPython(cases);
}

} // namespace
