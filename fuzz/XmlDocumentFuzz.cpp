// Fuzzes the XML documents: the parse of a text and its mirror as nods, plain or header.
//
// The first byte chooses the family (bit 0: a header document, whose texts are looked up in a
// data folder on disk holding two files) and whether an empty header gets an "Audio" element
// (bit 1); the rest is the text. Checked: nothing crashes or leaks; a text that is refused leaves
// an empty document; a parsed one is mirrored whole (every node has its nod, each nod its
// parent, visible entries follow their children), no deeper than the limit, every string member
// reads, what is printed is parsed again in the same way, a text written into a string member
// (the last bytes of the input) is refused without changing anything or leaves a print that reads
// back with the same markup, and the visible entries of a header take the files of the data
// folder.
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "platform/HostPath.h"
#include "system/SystemClasses.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/xml/HdrNod.h"
#include "system/xml/XmlNod.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tinyxml.h>
#include <unistd.h>

namespace {

// The data folder: a drive with the folders down to a temporary folder holding Models\Car.txt
// and a.txt.
struct CDataFolder {
    CDataFolder() {
        Host = std::filesystem::temp_directory_path() / ("xml-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(Host / "Models");
        std::ofstream(Host / "Models" / "Car.txt") << "car";
        std::ofstream(Host / "a.txt") << "a";
        Drive.m_Root = CClassicWideString(u"Z:");
        // "Z:\tmp\xml-fuzz-<pid>\" without its drive.
        const std::u16string engine = platform::FromHostPath(Host.string()) + u"\\";
        Folder = Drive.FindOrAddFolderPath(
            CClassicWideStringRef(engine.data() + 3, u32(engine.size() - 3)), nullptr);
    }
    ~CDataFolder() {
        Drive.Clear();
        std::error_code ignored;
        std::filesystem::remove_all(Host, ignored);
    }

    std::filesystem::path Host;
    CSystemFidsDrive Drive;
    CSystemFids* Folder = nullptr;
};

CDataFolder* s_Data = nullptr;

// Reads every string member of the nod's class chain.
void ReadMembers(CMwNod& nod) {
    for (u32 i = 0; i < nod.MemberCount(); ++i) {
        CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(nod.MemberIdByIndex(i));
        if (!member || member->TypeCode != MwType_String)
            continue;
        CMwMemberPath path(1);
        path.PushFront(reinterpret_cast<MwPathValue>(member));
        path.Reset();
        CMwParamValue value;
        FUZZ_CHECK(nod.GetParam(&path, &value) == MwParam_Ok && value.Value);
    }
}

// The mirror below the nod: returns the depth reached.
u32 CheckMirror(CXmlNod& nod, u32 depth) {
    FUZZ_CHECK(depth <= kXmlMaxDepth);
    ReadMembers(nod);
    u32 deepest = depth;
    const TiXmlNode* child = nod.GetNode()->FirstChild();
    for (u32 i = 0; i < nod.GetChildCount(); ++i, child = child->NextSibling()) {
        CXmlNod& sub = *nod.GetChild(i);
        FUZZ_CHECK(child && sub.GetNode() == child && sub.GetParent() == &nod);
        FUZZ_CHECK(sub.m_Editable == nod.m_Editable);
        deepest = std::max(deepest, CheckMirror(sub, depth + 1));
    }
    FUZZ_CHECK(!child);
    // One entry per child with a visible nod, in the children's order.
    u32 entry = 0;
    for (u32 i = 0; i < nod.GetChildCount() && entry < nod.m_UIChilds.m_Count; ++i)
        if (nod.GetVisibleOwner(entry) == nod.GetChild(i))
            ++entry;
    FUZZ_CHECK(entry == nod.m_UIChilds.m_Count);
    u32 attributes = 0;
    if (const TiXmlElement* element = nod.GetNode()->ToElement())
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next(), ++attributes)
            FUZZ_CHECK(attributes < nod.m_Attributes.m_Count &&
                       nod.m_Attributes.m_Items[attributes]->m_Attribute == a);
    FUZZ_CHECK(attributes == nod.m_Attributes.m_Count);
    for (u32 i = 0; i < attributes; ++i)
        ReadMembers(*nod.m_Attributes.m_Items[i]);
    return deepest;
}

// Sets each visible entry of the nod and those below to a file of the data folder.
void SetEntries(CXmlNod& nod, CMwNod* file) {
    for (u32 i = 0; i < nod.GetChildCount(); ++i)
        SetEntries(*nod.GetChild(i), file);
    for (u32 i = 0; i < nod.m_UIChilds.m_Count; ++i) {
        // "UIChilds.<i>": the first item pushed first.
        CMwMemberPath path(2);
        path.PushFront(reinterpret_cast<MwPathValue>(
            CMwClassRegistry::GetMemberInfo(CXmlNod::s_UIChildsMemberId)));
        path.m_Kinds[0] = MwPathItem_Member;
        path.PushFront(i);
        path.m_Kinds[0] = MwPathItem_Index;
        path.Reset();
        FUZZ_CHECK(nod.SetParam(&path, file) <= MwParam_NotFound);
    }
}

// The markup of the document as the parser read it: every node but the texts (whose blanks the
// parser condenses, and which go when blank) with its depth, type and value, each element's
// attributes and each declaration's values.
void Shape(const TiXmlNode* node, u32 depth, std::string& out) {
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        if (child->Type() != TiXmlNode::TINYXML_TEXT) {
            out += std::to_string(depth) + ":" + std::to_string(child->Type()) + ":" +
                   child->ValueStr() + "\n";
        }
        if (const TiXmlDeclaration* declaration = child->ToDeclaration()) {
            out += std::string("?") + declaration->Version() + "|" + declaration->Encoding() + "|" +
                   declaration->Standalone() + "\n";
        }
        if (const TiXmlElement* element = child->ToElement())
            for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
                out += "@" + a->NameTStr() + "=" + a->ValueStr() + "\n";
        Shape(child, depth + 1, out);
    }
}

// The markup of the document the text gives, or "<refused>".
std::string ShapeOfText(const std::string& text) {
    CXmlDocument document;
    if (!document.ParseText(CClassicStringRef(text.data(), u32(text.size()))))
        return "<refused>";
    std::string shape;
    Shape(document.GetDocument(), 0, shape);
    return shape;
}

std::unique_ptr<CXmlDocument> MakeDocument(bool header, bool withAudio) {
    if (!header)
        return std::make_unique<CXmlDocument>();
    auto document = std::make_unique<CHdrDocument>();
    document->m_WithAudio = withAudio;
    return document;
}

std::string Printed(CXmlDocument& document) {
    CClassicString text;
    document.PrintText(text);
    return std::string(text.GetText(), text.GetLength());
}

// Writes the text into the string member: a write that is refused leaves the document as it was;
// one that is taken leaves a document whose print reads back with the markup it now has.
void WriteMember(CXmlDocument& document, CMwNod& nod, CMwMemberInfo* member,
                 const std::string& text) {
    CMwMemberPath path(1);
    path.PushFront(reinterpret_cast<MwPathValue>(member));
    path.Reset();
    const CClassicString value(CClassicStringRef(text.data(), u32(text.size())));
    const std::string before = Printed(document);
    std::string markup;
    Shape(document.GetDocument(), 0, markup);
    // Only a document whose print reads back as it is can show what a write did.
    const bool readsBack = ShapeOfText(before) == markup;
    if (nod.SetParam(&path, &value) != MwParam_Ok) {
        FUZZ_CHECK(Printed(document) == before);
        return;
    }
    markup.clear();
    Shape(document.GetDocument(), 0, markup);
    FUZZ_CHECK(!readsBack || ShapeOfText(Printed(document)) == markup);
}

// Writes the text into the string members of the nod and of those below it, *budget writes at
// most.
void WriteMembers(CXmlDocument& document, CMwNod& nod, const std::string& text, u32* budget) {
    for (u32 i = 0; i < nod.MemberCount() && *budget != 0; ++i) {
        CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(nod.MemberIdByIndex(i));
        if (!member || member->TypeCode != MwType_String ||
            member->MemberId == CMwNod::s_IdNameMemberId)
            continue;
        --*budget;
        WriteMember(document, nod, member, text);
    }
    if (!nod.IsKindOf(CXmlNod::s_ClassId))
        return;
    auto& xml = static_cast<CXmlNod&>(nod);
    for (u32 i = 0; i < xml.m_Attributes.m_Count && *budget != 0; ++i)
        WriteMembers(document, *xml.m_Attributes.m_Items[i], text, budget);
    for (u32 i = 0; i < xml.GetChildCount() && *budget != 0; ++i)
        WriteMembers(document, *xml.GetChild(i), text, budget);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::Init();
    s_Data = new CDataFolder;
    std::atexit([] { delete s_Data; });
    SetHdrDataFolderSource([] { return s_Data->Folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1)
        return 0;
    const bool header = data[0] & 1;
    const bool withAudio = data[0] & 2;
    const u32 liveNods = CMwNod::GetLiveNodCount();
    {
        std::unique_ptr<CXmlDocument> document = MakeDocument(header, withAudio);
        const CClassicStringRef text(reinterpret_cast<const char*>(data + 1), u32(size - 1));
        if (!document->ParseText(text)) {
            FUZZ_CHECK(document->HasParseError() && document->GetChildCount() == 0);
            FUZZ_CHECK(!document->GetDocument()->FirstChild() && Printed(*document).empty());
            return 0;
        }
        FUZZ_CHECK(!document->HasParseError());
        CheckMirror(*document, 0);

        // What is printed is parsed again and mirrored as well. (The parser's print does not
        // always read back as it was: a declaration's values are printed without escapes.)
        const std::string printed = Printed(*document);
        std::unique_ptr<CXmlDocument> again = MakeDocument(header, withAudio);
        if (again->ParseText(CClassicStringRef(printed.data(), u32(printed.size()))))
            CheckMirror(*again, 0);

        document->SetEditable(0);
        CheckMirror(*document, 0);

        // The last bytes of the input written into the first string members.
        const size_t length = std::min<size_t>(size - 1, 12);
        const std::string written(reinterpret_cast<const char*>(data + size - length), length);
        u32 budget = 4;
        WriteMembers(*document, *document, written, &budget);
        CheckMirror(*document, 0);
        if (header) {
            CMwNod* car = s_Data->Folder->FindFid(u"Models\\Car.txt", true);
            FUZZ_CHECK(car != nullptr);
            SetEntries(*document, car);
            CheckMirror(*document, 0);
        }
    }
    // The documents took every nod they made with them; what the tree found on disk stays (the
    // folder Models and its two files at most).
    FUZZ_CHECK(CMwNod::GetLiveNodCount() <= liveNods + 3);
    return 0;
}
