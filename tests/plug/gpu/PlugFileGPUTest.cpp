// GPU programs: their state before analysis, the define scan, define values, installed results
// (bindings, LoadFx entries, samplers, masks, the register span) and the notification.
#include "plug/gpu/PlugFileGPU.h"

#include "plug/gpu/GpuTables.h"
#include "system/archive/SystemArchive.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/gpu/TestGpuPrograms.h"

namespace {

// Counts the messages it is told.
class CMessageCounter : public CMwNod {
public:
    void OnMessage(u32* messageId, CMwNod* sender, u32 parameter) override {
        m_Messages.push_back({*messageId, sender, parameter});
    }
    struct SMessage {
        u32 Id;
        CMwNod* Sender;
        u32 Parameter;
    };
    std::vector<SMessage> m_Messages;
};

class PlugFileGPU : public CPlugEngineFixture {
protected:
    void SetUp() override {
        CMwClassRegistry::AddClassList(g_TestGpuProgramClassList);
        CPlugEngineFixture::SetUp();
    }
};

CTestGpuProgramV* Vertex(const CMwNodRef& ref) {
    return static_cast<CTestGpuProgramV*>(ref.Get());
}
CTestGpuProgramP* Pixel(const CMwNodRef& ref) {
    return static_cast<CTestGpuProgramP*>(ref.Get());
}

std::vector<std::string> DefineNames(const CPlugFileGPU& program) {
    std::vector<std::string> names;
    for (const CMwId& id : program.m_Defines)
        names.push_back(id.GetChars() ? id.GetChars() : "?");
    return names;
}

LoadFxEntry Fx(const char* name, u32 rows, u32 columns, u32 elements, u32 firstDefault) {
    LoadFxEntry entry;
    EXPECT_TRUE(LoadFxEntry::Make(CMwId::FromName(name), rows, columns, LoadFxConversion_None,
                                  elements, firstDefault, entry));
    return entry;
}

// The kind of every class, and the state of a program before any analysis.
TEST_F(PlugFileGPU, StateBeforeAnalysis) {
    CMwNodRef v(new CTestGpuProgramV), p(new CTestGpuProgramP);
    for (u32 id : {0x09040000u, 0x09041000u, 0x09020000u}) {
        EXPECT_TRUE(v->IsKindOf(id));
        EXPECT_TRUE(p->IsKindOf(id));
    }
    EXPECT_TRUE(v->IsKindOf(0x09075000));
    EXPECT_FALSE(v->IsKindOf(0x09076000));
    EXPECT_TRUE(p->IsKindOf(0x09076000));
    EXPECT_FALSE(p->IsKindOf(0x09075000));

    const CTestGpuProgramV& vertex = *Vertex(v);
    EXPECT_EQ(vertex.m_VersionIdMin, 0x101u);
    EXPECT_EQ(vertex.m_IsAnalysed, 0u);
    EXPECT_EQ(vertex.m_FogMode, 2u);
    EXPECT_EQ(vertex.m_FogDeclared, 0u);
    EXPECT_EQ(vertex.m_FogRegister, -1);
    EXPECT_EQ(vertex.m_InputMask | vertex.m_OutputMask | vertex.m_TexCoordSetCount, 0u);
    EXPECT_EQ(Pixel(p)->m_InputMask | Pixel(p)->m_OutputMask, 0u);
    EXPECT_STREQ(Vertex(v)->GetEntryName(), "");
    EXPECT_STREQ(Vertex(v)->GetAsmSuffix(), "");
    const RenderPathId shadow = CMwId::FromName("Shadow");
    EXPECT_FALSE(Vertex(v)->SupportsRenderPath(&shadow));
    // Writing a program through a stream fails, as for every text.
    CClassicBufferMemory stream;
    EXPECT_EQ(Vertex(v)->WriteToStream(stream), 0);
}

// The defines of a text: known "DZun" tokens in order of first appearance, without repeats;
// a token needs a separator after it; unknown ones are logged.
TEST_F(PlugFileGPU, CollectDefines) {
    const std::string longToken = "DZun" + std::string(296, 'x');
    const struct {
        const char* Case;
        std::string Text;
        bool Scans;
        std::vector<std::string> Defines;
        std::string Log;
    } cases[] = {
        {"repeat", "DZunB x DZunA;DZunB(DZunA)", true, {"DZunB", "DZunA"}, ""},
        {"separators", "DZunA!=1 DZunB.x\tDZunC*2", true, {"DZunA", "DZunB", "DZunC"}, ""},
        {"end without separator", "DZunA;DZunB", true, {"DZunA"}, ""},
        {"inside a longer name", "fooDZunA;", true, {"DZunA"}, ""},
        {"unknown", "DZunX DZunA ", true, {"DZunA"}, "Unknown Zun define : \"DZunX\"\r\n"},
        {"token in a token",
         "DZunDZunA;",
         true,
         {"DZunA"},
         "Unknown Zun define : \"DZunDZunA\"\r\n"},
        {"300 bytes",
         longToken + ";",
         true,
         {},
         "Unknown Zun define : \"" + longToken.substr(0, 255) + "\"\r\n"},
        {"four letters only", "DZun;", true, {}, "Unknown Zun define : \"DZun\"\r\n"},
        {"no scan", "DZunA;DZunB;", false, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        CMwNodRef v(new CTestGpuProgramV);
        Vertex(v)->m_Script.m_Scans = c.Scans;
        Vertex(v)->m_Script.Know({"DZunA", "DZunB", "DZunC"});
        Vertex(v)->m_Defines.push_back(CMwId::FromName("DZunOld"));
        Vertex(v)->m_Text.Assign(CClassicStringRef(c.Text.data(), u32(c.Text.size())));
        CLogWatch log;
        Vertex(v)->CollectDefines();
        EXPECT_EQ(DefineNames(*Vertex(v)), c.Defines);
        EXPECT_EQ(log.Since(), c.Log);
    }
}

// Loading by path and reading from an archive both clear IsGeneratedFromFixedPipe and collect
// the defines; a failed load changes neither.
TEST_F(PlugFileGPU, LoadsDeriveTheDefines) {
    WriteWholeFile(HostFile("p.phlsl.txt"), "#ifdef DZunA\r\n#endif\r\n");
    CMwNodRef p(new CTestGpuProgramP);
    Pixel(p)->m_Script.Know({"DZunA"});
    Pixel(p)->m_IsGeneratedFromFixedPipe = 1;
    EXPECT_EQ(Pixel(p)->LoadFromPath(Name("missing.phlsl.txt")), 0);
    EXPECT_EQ(Pixel(p)->m_IsGeneratedFromFixedPipe, 1u);
    EXPECT_TRUE(Pixel(p)->m_Defines.empty());
    EXPECT_EQ(Pixel(p)->LoadFromPath(Name("p.phlsl.txt")), 1);
    EXPECT_EQ(Pixel(p)->m_IsGeneratedFromFixedPipe, 0u);
    EXPECT_EQ(DefineNames(*Pixel(p)), std::vector<std::string>{"DZunA"});

    // The same text inside an archive: the body is the text alone.
    CClassicBufferMemory image;
    CSystemArchive saver;
    ASSERT_EQ(saver.SaveToMemory(&image, p.Get(), kSystemArchiveSaveRelease), 1);
    Engine().ReleaseMemoryFid(&image);
    CMwNod* out = nullptr;
    CLogWatch log;
    ASSERT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
    const CMwNodRef loaded(out);
    ASSERT_TRUE(out->IsKindOf(CTestGpuProgramP::s_ClassId));
    // A fresh nod knows no define, so the scan logs the token: it ran.
    EXPECT_NE(log.Since().find("Unknown Zun define : \"DZunA\"\r\n"), std::string::npos);
    EXPECT_EQ(Pixel(loaded)->m_Text.Compare(Pixel(p)->m_Text), 0);
    EXPECT_EQ(Pixel(loaded)->m_IsGeneratedFromFixedPipe, 0u);
}

TEST_F(PlugFileGPU, DefineValues) {
    CMwNodRef v(new CTestGpuProgramV);
    CTestGpuProgramV& program = *Vertex(v);
    const CMwId a = CMwId::FromName("DZunA"), b = CMwId::FromName("DZunB");
    EXPECT_EQ(program.GetDefineValue(a), nullptr);
    program.SetDefineValue(b, "1");
    program.SetDefineValue(a, "x \\\r\ny");
    program.SetDefineValue(b, "2");
    ASSERT_EQ(program.m_DefineValues.size(), 2u);
    EXPECT_EQ(program.m_DefineValues[0].m_Define, b);
    ASSERT_NE(program.GetDefineValue(b), nullptr);
    EXPECT_EQ(program.GetDefineValue(b)->Compare("2"), 0);
    EXPECT_EQ(program.GetDefineValue(a)->Compare("x \\\r\ny"), 0);
}

// Every field of a LoadFx entry keeps its bits; a value too large for its bits is refused.
TEST_F(PlugFileGPU, LoadFxPacking) {
    LoadFxEntry entry;
    const CMwId name = CMwId::FromName("Tint");
    ASSERT_TRUE(LoadFxEntry::Make(name, 7, 5, LoadFxConversion_Alpha, 1023, 8191, entry));
    EXPECT_EQ(entry.m_Info, 7u | (5u << 3) | (4u << 6) | (1023u << 9) | (8191u << 19));
    EXPECT_EQ(entry.GetRows(), 7u);
    EXPECT_EQ(entry.GetColumns(), 5u);
    EXPECT_EQ(entry.GetConversion(), 4u);
    EXPECT_EQ(entry.GetElementCount(), 1023u);
    EXPECT_EQ(entry.GetFirstDefault(), 8191u);
    const struct {
        u32 Rows, Columns, Conversion, Elements, First;
    } tooLarge[] = {
        {8, 1, 0, 1, 0}, {1, 8, 0, 1, 0}, {1, 1, 8, 1, 0}, {1, 1, 0, 1024, 0}, {1, 1, 0, 1, 8192}};
    for (const auto& c : tooLarge) {
        LoadFxEntry out = entry;
        EXPECT_FALSE(
            LoadFxEntry::Make(name, c.Rows, c.Columns, c.Conversion, c.Elements, c.First, out));
        EXPECT_EQ(out.m_Info, entry.m_Info);
    }
}

// An installed result: bindings at 0 (a LoadId of 4 registers) and 4 (a LoadFx entry of 2
// elements of 1 column) give a span of 6; lookups find samplers and LoadFx registers; the
// observers hear of each installed result once.
TEST_F(PlugFileGPU, InstalledResults) {
    CMwNodRef v(new CTestGpuProgramV);
    CTestGpuProgramV& program = *Vertex(v);
    CMwNodRef counter(new CMessageCounter);
    auto& messages = static_cast<CMessageCounter*>(counter.Get())->m_Messages;
    program.AddObserver(counter.Get());

    GpuProgramResult& result = program.m_Script.m_Result;
    result.LoadFx = {Fx("Unbound", 4, 1, 1, 0), Fx("Tint", 4, 1, 2, 1)};
    result.LoadFxDefaults = {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}};
    // Given out of order: the install sorts by register.
    result.FloatBindings = {{GpuConstantBinding::LoadFxCode(1), 0, 4},
                            {GpuConstantBinding::LoadIdCode(0), 0, 0}};
    result.IntBindings = {{GpuConstantBinding::LoadIdCode(57), 0, 2}};
    result.Samplers = {{CMwId::FromName("Shadow"), (3u << 2) | GpuSamplerKind_2D},
                       {CMwId::FromName("Diffuse"), (0u << 2) | GpuSamplerKind_Cube}};
    result.InputMask = 0x801;
    result.OutputMask = 0x28;
    result.TexCoordSetCount = 1;
    result.Code = {0xFFFE0300, 0x0000FFFF};

    EXPECT_EQ(program.Compile(1, 0), 1);
    EXPECT_EQ(program.m_Script.m_CompileCount, 1u);
    EXPECT_EQ(program.m_IsAnalysed, 1u);
    EXPECT_EQ(program.m_FloatRegisterCount, 6u);
    EXPECT_EQ(program.m_FloatBindings[0].m_Register, 0u);
    EXPECT_EQ(program.m_InputMask, 0x801u);
    EXPECT_EQ(program.m_OutputMask, 0x28u);
    EXPECT_EQ(program.m_TexCoordSetCount, 1u);
    ASSERT_EQ(program.m_Code.m_Count, 2u);
    EXPECT_EQ(program.m_Code[1], 0x0000FFFFu);
    EXPECT_EQ(program.FindSampler(CMwId::FromName("Diffuse")), 0);
    EXPECT_EQ(program.FindSampler(CMwId::FromName("Shadow")), 1);
    EXPECT_EQ(program.FindSampler(CMwId::FromName("Tint")), -1);
    i32 reg = 99;
    const LoadFxEntry* tint = program.FindLoadFx(CMwId::FromName("Tint"), &reg);
    ASSERT_NE(tint, nullptr);
    EXPECT_EQ(tint->GetFirstDefault(), 1u);
    EXPECT_EQ(reg, 4);
    ASSERT_NE(program.FindLoadFx(CMwId::FromName("Unbound"), &reg), nullptr);
    EXPECT_EQ(reg, -1);
    EXPECT_EQ(program.FindLoadFx(CMwId::FromName("Other"), &reg), nullptr);
    EXPECT_EQ(reg, -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Id, 0x09040000u);
    EXPECT_EQ(messages[0].Sender, v.Get());
    EXPECT_EQ(messages[0].Parameter, 0u);

    // A build that asks for silence, a failed compile and a refused result tell nobody; the last
    // two change nothing.
    program.m_Script.m_Notify = false;
    EXPECT_EQ(program.Compile(1, 0), 1);
    program.m_Script.m_Notify = true;
    program.m_Script.m_Fails = true;
    EXPECT_EQ(program.Compile(1, 0), 0);
    program.m_Script.m_Fails = false;
    program.m_Script.m_Result.FloatBindings.push_back({GpuConstantBinding::LoadIdCode(173), 0, 9});
    CLogWatch log;
    EXPECT_EQ(program.Compile(1, 0), 0);
    EXPECT_FALSE(log.Since().empty());
    program.m_Script.m_Result.FloatBindings.pop_back();
    program.m_Script.m_Result.LoadFxDefaults.pop_back();
    EXPECT_EQ(program.Compile(1, 0), 0);
    EXPECT_EQ(program.m_Script.m_CompileCount, 5u);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(program.m_FloatRegisterCount, 6u);
    EXPECT_EQ(program.m_LoadFxDefaults.size(), 3u);

    // Without float bindings the span is 0.
    program.m_Script.m_Result = GpuProgramResult();
    EXPECT_EQ(program.Compile(1, 0), 1);
    EXPECT_EQ(program.m_FloatRegisterCount, 0u);
    EXPECT_EQ(messages.size(), 2u);
    program.RemoveObserver(counter.Get());
}

// A pixel program writes one colour, or two when COLOR1 is among its outputs.
TEST_F(PlugFileGPU, ColorOutputs) {
    CMwNodRef p(new CTestGpuProgramP);
    const struct {
        u32 Mask;
        u32 Count;
    } cases[] = {{0x0, 1}, {0x1, 1}, {0x11, 1}, {0x3, 2}, {0x2, 2}, {0x1F, 2}};
    for (const auto& c : cases) {
        Pixel(p)->m_Script.m_Result.OutputMask = c.Mask;
        ASSERT_EQ(Pixel(p)->Compile(1, 0), 1);
        EXPECT_EQ(Pixel(p)->m_OutputMask, c.Mask);
        EXPECT_EQ(Pixel(p)->GetColorOutputCount(), c.Count) << c.Mask;
    }
}

} // namespace
