// The form base and its frames: the class record and the delivery answers, the frames of both
// framings rebuilt byte for byte by independent Python code (and received by it as datagrams),
// the round trip through the test frame reader, the reader's refusals, and what a body that
// throws or writes a frame of its own leaves behind.
#include "net/message/NetNod.h"

#include "NetTestSupport.h"
#include "net/socket/NetSocket.h"
#include "platform/Endian.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/net/NetFrameReader.h"
#include "tests/support/net/TestPythonPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr u32 kFormId = CTestNetForm::s_ClassId;
constexpr u8 kFormIndex = 0x2A;

class NetNod : public CNetFixture {};

std::vector<u8> Text(u32 size) {
    const std::string line = "The form travels in its frame; every byte is checked twice.\n";
    std::vector<u8> text;
    while (text.size() < size)
        text.push_back(u8(line[text.size() % line.size()]));
    return text;
}

std::vector<u8> Noise(u32 size) {
    std::vector<u8> noise(size);
    u32 x = 0x2545F491;
    for (u8& b : noise) {
        x = x * 1103515245 + 12345;
        b = u8(x >> 23);
    }
    return noise;
}

CTestNetForm* NewForm(const std::vector<u8>& body, u32 compressed) {
    auto* form = new CTestNetForm;
    form->AddRef();
    form->m_Body = body;
    form->m_Compressed = compressed;
    return form;
}

// The settings of one case: the framing and a class table of one record, or of one record of
// another class.
struct CLink {
    CNetClassLink Record;
    CNetLinkSettings Settings;

    CLink(i32 mode, u32 checksum, u32 sequence, u32 ordered, u32 classId = kFormId) {
        Record.m_ClassId = classId;
        Record.m_ClassIndex = kFormIndex;
        Record.m_Checksum = checksum;
        Record.m_Sequence = sequence;
        Record.m_Ordered = ordered;
        Settings.m_FramingMode = mode;
        Settings.m_Classes = &Record;
        Settings.m_ClassCount = 1;
    }
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;
};

std::string Frame(CNetNod& form, const CNetLinkSettings& settings, u32& counter, u32 start) {
    CClassicBufferMemory stream;
    const u8 zeros[4] = {};
    stream.Write(zeros, start);
    form.Write(stream, settings, counter);
    EXPECT_EQ(stream.GetSize(), stream.GetPosition());
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
}

TEST_F(NetNod, ClassAndDeliveryAnswers) {
    const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(0x12001000);
    ASSERT_EQ(info, &CNetNod::s_ClassInfo);
    EXPECT_STREQ(info->m_Name, "CNetNod");
    EXPECT_EQ(info->m_Parent, &CMwNod::s_ClassInfo);
    EXPECT_EQ(info->m_Factory, nullptr);
    EXPECT_EQ(CMwClassRegistry::CreateNodById(0x12001000), nullptr);

    CTestNetForm* form = NewForm({}, 0);
    EXPECT_TRUE(form->IsKindOf(0x12001000));
    // The base's answers.
    EXPECT_EQ(form->CNetNod::IsCompressed(), 0u);
    EXPECT_EQ(form->CNetNod::GetDeliveryFlag(), 0u);
    EXPECT_EQ(form->CNetNod::GetQueuePriority(), 0u);
    EXPECT_EQ(form->CNetNod::GetDeliveryLevel(), 8u);
    // A form's own answers reach the writer through the virtual slots.
    form->m_NeedsQueue = 1;
    form->m_Priority = 32;
    CNetNod* base = form;
    EXPECT_EQ(base->NeedsQueue(), 1u);
    EXPECT_EQ(base->GetQueuePriority(), 32u);

    // Dispose gives back one reference.
    form->AddRef();
    form->Dispose();
    EXPECT_EQ(form->GetRefCount(), 1);
    form->Dispose();
}

TEST_F(NetNod, TheAttachmentGoesWithTheForm) {
    struct CCounted : CNetNodAttachment {
        explicit CCounted(u32& deleted) : m_Deleted(deleted) {}
        ~CCounted() override { ++m_Deleted; }
        u32& m_Deleted;
    };
    u32 deleted = 0;
    CTestNetForm* form = NewForm({}, 0);
    EXPECT_EQ(form->GetAttachment(), nullptr);
    auto* first = new CCounted(deleted);
    form->SetAttachment(first);
    form->SetAttachment(first);
    EXPECT_EQ(deleted, 0u);
    form->SetAttachment(new CCounted(deleted));
    EXPECT_EQ(deleted, 1u);
    form->Release();
    EXPECT_EQ(deleted, 2u);
}

struct CFrameCase {
    const char* Name;
    i32 Mode;
    u32 Checksum, Sequence, Ordered;
    u32 RecordClass; // the class the table knows
    u32 Counter;
    std::vector<u8> Body;
    u32 Compressed;
    u32 Start;
};

std::vector<CFrameCase> FrameCases() {
    const std::vector<u8> hello = {'h', 'e', 'l', 'l', 'o'};
    return {
        {"compact, no flags", 2, 0, 0, 0, kFormId, 5, hello, 0, 0},
        {"sequence at 65535", 2, 0, 1, 0, kFormId, 65535, hello, 0, 0},
        {"ordered at 65535", 2, 0, 0, 1, kFormId, 65535, hello, 0, 0},
        {"sequence from a wide counter", 2, 0, 1, 0, kFormId, 0x12345, hello, 0, 0},
        {"checksum at the start", 2, 1, 0, 0, kFormId, 0, hello, 0, 0},
        {"checksum after a length placeholder", 2, 1, 0, 0, kFormId, 0, hello, 0, 4},
        {"compressed empty body", 2, 0, 0, 0, kFormId, 0, {}, 1, 0},
        {"compressed text", 2, 0, 0, 0, kFormId, 0, Text(4096), 1, 0},
        {"compressed noise", 2, 0, 0, 0, kFormId, 0, Noise(4096), 1, 0},
        {"compressed, checksum, sequence, ordered", 2, 1, 1, 1, kFormId, 7, Text(700), 1, 4},
        {"full", 1, 0, 0, 0, 0, 3, hello, 0, 0},
        {"full after a length placeholder", 1, 0, 0, 0, 0, 3, Noise(300), 0, 4},
        {"full compressed", 1, 0, 0, 0, 0, 3, Text(4096), 1, 0},
        {"full compressed empty", 1, 0, 0, 0, 0, 3, {}, 1, 0},
        {"unknown class", 2, 1, 1, 0, 0x12002000, 9, hello, 0, 0},
        {"mode 0", 0, 1, 1, 0, kFormId, 9, hello, 1, 0},
        {"mode 3", 3, 1, 1, 0, kFormId, 9, hello, 0, 4},
    };
}

std::string CaseLine(const CFrameCase& c, const std::string& stream) {
    std::string line = "{\"case\": \"" + std::string(c.Name) +
                       "\", \"mode\": " + std::to_string(c.Mode) +
                       ", \"class\": " + std::to_string(kFormId) +
                       ", \"record\": {\"id\": " + std::to_string(c.RecordClass) +
                       ", \"index\": " + std::to_string(kFormIndex) +
                       ", \"checksum\": " + std::to_string(c.Checksum) +
                       ", \"sequence\": " + std::to_string(c.Sequence) +
                       ", \"ordered\": " + std::to_string(c.Ordered) +
                       "}, \"counter\": " + std::to_string(c.Counter) + ", \"body\": \"" +
                       TestHex(c.Body.data(), c.Body.size()) +
                       "\", \"compressed\": " + (c.Compressed ? "true" : "false") +
                       ", \"start\": " + std::to_string(c.Start) + ", \"stream\": \"" +
                       TestHex(reinterpret_cast<const u8*>(stream.data()), stream.size()) +
                       "\", \"datagram\": true}";
    return line;
}

// Every frame as Python's struct, hmac and python3-lzo rebuild it, also received as a datagram
// sent by CNetUDP::SendTo.
TEST_F(NetNod, FramesRebuiltByPython) {
    CTestPythonPeer checker("wirecheck.py");
    const u16 port = u16(std::stoi("0" + TestJsonField(checker.ReadLine(), "port")));
    ASSERT_NE(port, 0);
    CNetUDP udp;
    udp.m_Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(udp.m_Socket, 0);
    CNetAddress to;
    to.SetAddress(0x7F000001);
    to.SetPort(port);

    for (const CFrameCase& c : FrameCases()) {
        SCOPED_TRACE(c.Name);
        CLink link(c.Mode, c.Checksum, c.Sequence, c.Ordered, c.RecordClass);
        CTestNetForm* form = NewForm(c.Body, c.Compressed);
        u32 counter = c.Counter;
        CClassicBufferMemory stream;
        const u8 zeros[4] = {};
        stream.Write(zeros, c.Start);
        form->Write(stream, link.Settings, counter);
        form->Release();
        // The stream ends at the frame's end.
        EXPECT_EQ(stream.GetSize(), stream.GetPosition());
        const std::string bytes(reinterpret_cast<const char*>(stream.GetData()), stream.GetSize());
        udp.SendTo(to, stream);
        ASSERT_TRUE(checker.WriteLine(CaseLine(c, bytes)));
        const std::string verdict = checker.ReadLine();
        EXPECT_EQ(TestJsonField(verdict, "ok"), "true") << verdict;
        EXPECT_EQ(TestJsonField(verdict, "counter"), std::to_string(counter));
    }
    CloseSocket(udp);
}

// A few frames pinned byte for byte, so a reader of this file sees the layout.
TEST_F(NetNod, PinnedFrames) {
    struct Case {
        const char* Name;
        i32 Mode;
        u32 Checksum, Sequence, Ordered;
        u32 Counter;
        std::vector<u8> Body;
        u32 Compressed;
        const char* Hex;
        u32 CounterAfter;
    };
    const Case cases[] = {
        {"two bytes and the body", 2, 0, 0, 0, 5, {1, 2}, 0, "802a0102", 5},
        {"sequence wraps", 2, 0, 1, 0, 65535, {1}, 0, "842affff01", 0},
        {"empty compressed body", 2, 0, 0, 0, 0, {}, 1, "812a00000000110000", 0},
        {"full", 1, 0, 0, 0, 0, {9}, 0, "0000010000100f1209", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CLink link(c.Mode, c.Checksum, c.Sequence, c.Ordered);
        CTestNetForm* form = NewForm(c.Body, c.Compressed);
        u32 counter = c.Counter;
        const std::string bytes = Frame(*form, link.Settings, counter, 0);
        form->Release();
        EXPECT_EQ(TestHex(reinterpret_cast<const u8*>(bytes.data()), bytes.size()), c.Hex);
        EXPECT_EQ(counter, c.CounterAfter);
    }
}

// Written, read back by the test reader and written again: the same bytes, the same form.
TEST_F(NetNod, RoundTripThroughTheReader) {
    for (const CFrameCase& c : FrameCases()) {
        if ((c.Mode == 2 && c.RecordClass != kFormId) || (c.Mode != 1 && c.Mode != 2))
            continue;
        SCOPED_TRACE(c.Name);
        CLink link(c.Mode, c.Checksum, c.Sequence, c.Ordered);
        CTestNetForm* form = NewForm(c.Body, c.Compressed);
        u32 counter = c.Counter;
        const std::string bytes = Frame(*form, link.Settings, counter, c.Start);
        form->Release();

        CNetFrame frame;
        ASSERT_TRUE(NetReadFrame(reinterpret_cast<const u8*>(bytes.data()) + c.Start,
                                 u32(bytes.size() - c.Start), link.Settings, frame));
        ASSERT_NE(frame.m_Form, nullptr);
        ASSERT_EQ(frame.m_Form->GetClassId(), kFormId);
        auto* read = static_cast<CTestNetForm*>(frame.m_Form);
        EXPECT_EQ(read->m_Body, c.Body);
        EXPECT_EQ(frame.m_ClassId, kFormId);
        EXPECT_EQ(frame.m_Compressed, c.Compressed != 0);
        if (c.Mode == 2) {
            EXPECT_EQ(frame.m_ClassIndex, kFormIndex);
            EXPECT_EQ(frame.m_Flags & CNetNod::s_FlagCompressed, c.Compressed);
            if (c.Sequence || c.Ordered) {
                EXPECT_EQ(frame.m_Sequence, u16(c.Counter));
            }
        }
        read->m_Compressed = c.Compressed;
        u32 again = frame.m_Sequence;
        EXPECT_EQ(Frame(*read, link.Settings, again, c.Start), bytes);
    }
}

TEST_F(NetNod, ReaderRefusesDamagedFrames) {
    // A valid frame of each framing, then one damage each.
    auto frame = [](i32 mode, u32 checksum, u32 sequence, const std::vector<u8>& body,
                    u32 compressed) {
        CLink link(mode, checksum, sequence, 0);
        CTestNetForm* form = NewForm(body, compressed);
        u32 counter = 0x1234;
        const std::string bytes = Frame(*form, link.Settings, counter, 0);
        form->Release();
        return std::vector<u8>(bytes.begin(), bytes.end());
    };
    const std::vector<u8> body = Text(200);
    const std::vector<u8> checked = frame(2, 1, 1, body, 0);    // 84|02 2a seq checksum body
    const std::vector<u8> packed = frame(2, 0, 0, body, 1);     // 81 2a n lzo
    const std::vector<u8> full = frame(1, 0, 0, body, 0);       // tag id body
    const std::vector<u8> fullPacked = frame(1, 0, 0, body, 1); // tag size packed lzo
    // A full compressed frame whose block holds nothing, not even a class id.
    const std::vector<u8> emptyBlock = {0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 3, 0, 0, 0, 0x11, 0, 0};
    ASSERT_EQ(checked[0], 0x86);
    ASSERT_EQ(packed[0], 0x81);

    struct Case {
        const char* Name;
        i32 Mode;
        u32 Checksum, Sequence;
        std::vector<u8> Frame;
        u32 Limit;
    };
    auto with = [](std::vector<u8> bytes, size_t at, u8 value) {
        bytes[at] = value;
        return bytes;
    };
    auto word = [](std::vector<u8> bytes, size_t at, u32 value) {
        platform::StoreU32Le(bytes.data() + at, value);
        return bytes;
    };
    auto cut = [](std::vector<u8> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    auto extra = [](std::vector<u8> bytes) {
        bytes.push_back(0);
        return bytes;
    };
    const Case cases[] = {
        {"no compact bit", 2, 1, 1, with(checked, 0, 0x06), kNetFrameReadLimit},
        {"unknown flag bit", 2, 1, 1, with(checked, 0, 0x96), kNetFrameReadLimit},
        {"unknown class index", 2, 1, 1, with(checked, 1, 0x2B), kNetFrameReadLimit},
        {"flags unlike the record", 2, 0, 1, checked, kNetFrameReadLimit},
        {"checksum wrong", 2, 1, 1, with(checked, 4, u8(checked[4] ^ 1)), kNetFrameReadLimit},
        {"body changed under the checksum", 2, 1, 1, with(checked, 9, 'X'), kNetFrameReadLimit},
        {"sequence cut off", 2, 1, 1, cut(checked, 3), kNetFrameReadLimit},
        {"checksum cut off", 2, 1, 1, cut(checked, 6), kNetFrameReadLimit},
        {"one byte", 2, 0, 0, cut(packed, 1), kNetFrameReadLimit},
        {"compressed length cut off", 2, 0, 0, cut(packed, 4), kNetFrameReadLimit},
        {"compressed length above the limit", 2, 0, 0, packed, 199},
        {"compressed length too long", 2, 0, 0, word(packed, 2, 201), kNetFrameReadLimit},
        {"compressed length too short", 2, 0, 0, word(packed, 2, 199), kNetFrameReadLimit},
        {"compressed data cut", 2, 0, 0, cut(packed, packed.size() - 1), kNetFrameReadLimit},
        {"compressed data followed by a byte", 2, 0, 0, extra(packed), kNetFrameReadLimit},
        {"compressed data damaged", 2, 0, 0, with(packed, 6, 0xFF), kNetFrameReadLimit},
        {"full tag unknown", 1, 0, 0, word(full, 0, 0x00010002), kNetFrameReadLimit},
        {"full header cut", 1, 0, 0, cut(full, 7), kNetFrameReadLimit},
        {"full class not a form", 1, 0, 0, word(full, 4, 0x12012000), kNetFrameReadLimit},
        {"full class without factory", 1, 0, 0, word(full, 4, 0x12001000), kNetFrameReadLimit},
        {"full class unknown", 1, 0, 0, word(full, 4, 0x12345000), kNetFrameReadLimit},
        {"full class with member bits", 1, 0, 0, word(full, 4, kFormId | 0x7A), kNetFrameReadLimit},
        {"full block above the limit", 1, 0, 0, fullPacked, 203},
        {"full block followed by a byte", 1, 0, 0, extra(fullPacked), kNetFrameReadLimit},
        {"full block cut", 1, 0, 0, cut(fullPacked, fullPacked.size() - 2), kNetFrameReadLimit},
        {"full block without a class", 1, 0, 0, emptyBlock, kNetFrameReadLimit},
        {"framing mode 0", 0, 0, 0, full, kNetFrameReadLimit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CLink link(c.Mode, c.Checksum, c.Sequence, 0);
        CLogWatch log;
        CNetFrame read;
        EXPECT_FALSE(
            NetReadFrame(c.Frame.data(), u32(c.Frame.size()), link.Settings, read, c.Limit));
        EXPECT_EQ(read.m_Form, nullptr);
        EXPECT_NE(log.Since().find("[NetFrame] Frame refused: "), std::string::npos) << log.Since();
    }
    // The undamaged frames read, at the limit exactly.
    for (const std::vector<u8>* bytes : {&packed, &fullPacked}) {
        CLink link(bytes == &packed ? 2 : 1, 0, 0, 0);
        CNetFrame read;
        EXPECT_TRUE(NetReadFrame(bytes->data(), u32(bytes->size()), link.Settings, read,
                                 bytes == &packed ? 200 : 204));
    }
}

// A body that throws leaves the writer as it found it: the scratch empty, the stream still the
// caller's, the next frame exact.
TEST_F(NetNod, ABodyThatThrowsLeavesNothingBehind) {
    CTestNetForm* form = NewForm(Text(100), 1);
    form->m_BodyHook = [](CTestNetForm&, CClassicArchive& archive) {
        const u8 junk[64] = {0xEE};
        archive.WriteRaw(junk, sizeof junk);
        throw CClassicBufferException(kClassicBufferErrorBadData);
    };
    CClassicBufferMemory stream;
    for (i32 mode : {1, 2}) {
        CLink link(mode, 1, 1, 0);
        u32 counter = 0;
        stream.Clear();
        EXPECT_THROW(form->Write(stream, link.Settings, counter), CClassicBufferException);
    }
    form->m_BodyHook = nullptr;
    for (i32 mode : {1, 2}) {
        CLink link(mode, 1, 1, 0);
        u32 counter = 0;
        stream.Clear();
        form->Write(stream, link.Settings, counter);
        CNetFrame read;
        ASSERT_TRUE(NetReadFrame(stream.GetData(), stream.GetSize(), link.Settings, read));
        EXPECT_EQ(static_cast<CTestNetForm*>(read.m_Form)->m_Body, Text(100));
    }
    form->Release();
}

// A stream that cannot take the whole frame (its size limit) fails the write as a refused body
// write does: never a frame whose compressed body or header is missing, never a checksum stored
// past the stream's end.
TEST_F(NetNod, AFrameTheStreamRefusesThrows) {
    constexpr u32 kLimit = 1000;
    struct Case {
        const char* Name;
        i32 Mode;
        u32 Checksum, Sequence;
        std::vector<u8> Body;
        u32 Compressed;
        u32 Before; // bytes the stream holds before the frame
    };
    const Case cases[] = {
        {"compact body compressed past the limit", 2, 0, 0, Noise(900), 1, 0},
        {"full body compressed past the limit", 1, 0, 0, Noise(900), 1, 0},
        {"compact header at the limit", 2, 1, 1, {}, 0, kLimit - 1},
        {"full header at the limit", 1, 0, 0, {}, 0, kLimit - 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CLink link(c.Mode, c.Checksum, c.Sequence, 0);
        CTestNetForm* form = NewForm(c.Body, c.Compressed);
        const u32 old = SetClassicBufferMemoryLimit(kLimit);
        CClassicBufferMemory stream;
        const std::vector<u8> before(c.Before, 0x55);
        stream.Write(before.data(), c.Before);
        u32 counter = 0;
        EXPECT_THROW(form->Write(stream, link.Settings, counter), CClassicBufferException);
        SetClassicBufferMemoryLimit(old);
        EXPECT_LE(stream.GetSize(), kLimit);
        form->Release();
    }
}

TEST_F(NetNod, WritingIsNotReentrant) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CTestNetForm* form = NewForm({1, 2, 3}, 0);
    form->m_BodyHook = [](CTestNetForm& self, CClassicArchive&) {
        self.m_BodyHook = nullptr;
        CLink link(1, 0, 0, 0);
        CClassicBufferMemory other;
        u32 counter = 0;
        self.Write(other, link.Settings, counter);
    };
    CLink link(1, 0, 0, 0);
    CClassicBufferMemory stream;
    u32 counter = 0;
    EXPECT_DEBUG_DEATH(form->Write(stream, link.Settings, counter), "inside a body");
    form->m_BodyHook = nullptr;
    form->Release();
}

// A table ends at its count or at a record of class 0xFFFFFFFF, whichever comes first.
TEST_F(NetNod, TheClassTableEndsAtItsCountOrItsTerminator) {
    CNetClassLink records[3];
    records[0].m_ClassId = 0x12002000;
    records[1].m_ClassId = CNetClassLink::s_EndOfTable;
    records[2].m_ClassId = kFormId;
    records[2].m_ClassIndex = 3;
    CNetLinkSettings settings;
    settings.m_FramingMode = CNetLinkSettings::s_FramingCompact;
    settings.m_Classes = records;
    struct Case {
        u32 Count;
        bool Found;
    };
    for (const Case c : {Case{3, false}, Case{2, false}}) {
        settings.m_ClassCount = c.Count;
        EXPECT_EQ(settings.FindClass(kFormId) != nullptr, c.Found);
    }
    records[1].m_ClassId = 0x12003000;
    settings.m_ClassCount = 2;
    EXPECT_EQ(settings.FindClass(kFormId), nullptr) << "nothing is read past the count";
    settings.m_ClassCount = 3;
    ASSERT_EQ(settings.FindClass(kFormId), &records[2]);
    CTestNetForm* form = NewForm({7}, 0);
    u32 counter = 0;
    EXPECT_EQ(TestHex(reinterpret_cast<const u8*>(Frame(*form, settings, counter, 0).data()), 3),
              "800307");
    form->Release();
}

} // namespace
