// The header nods: the skeleton of an empty header, the recognition of header documents, the
// places of the standard children, texts that name files of the data folder, and files set on
// visible entries.
#include "../fid/FidTestSupport.h"
#include "XmlTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

CSystemFids* s_DataFolder = nullptr;

// A data folder "GameData" on disk, with a file beside it that texts must not reach.
class HdrNod : public CXmlFixture {
protected:
    void SetUp() override {
        CXmlFixture::SetUp();
        std::filesystem::create_directories(m_Temp.File("GameData/Models"));
        std::filesystem::create_directories(m_Temp.File("GameData/Skins"));
        WriteWholeFile(m_Temp.File("GameData/Models/Car.txt"), "car");
        WriteWholeFile(m_Temp.File("GameData/Skins/a b.txt"), "skin");
        WriteWholeFile(m_Temp.File("outside.txt"), "outside");
        m_Tree = std::make_unique<CDiskTree>(m_Temp);
        s_DataFolder = m_Tree->m_Folder->FindOrAddFolderPath(u"GameData\\", nullptr);
        m_OldSource = SetHdrDataFolderSource([] { return s_DataFolder; });
    }
    void TearDown() override {
        SetHdrDataFolderSource(m_OldSource);
        s_DataFolder = nullptr;
        m_Tree.reset();
        CXmlFixture::TearDown();
    }

    // The file's path relative to the data folder, "<none>" for no file.
    static std::string Relative(const CMwNod* nod) {
        if (!nod || !const_cast<CMwNod*>(nod)->IsKindOf(CSystemFidFile::s_ClassId))
            return "<none>";
        CClassicWideString path;
        if (!static_cast<CSystemFidFile*>(const_cast<CMwNod*>(nod))
                 ->GetFileNameRelativeTo(path, s_DataFolder))
            return "<outside>";
        return Narrow(path);
    }
    CSystemFidFile* DataFile(const char16_t* path) {
        return static_cast<CSystemFidFile*>(s_DataFolder->FindFid(path, true));
    }

    CTempFolder m_Temp;
    std::unique_ptr<CDiskTree> m_Tree;
    HdrDataFolderSource m_OldSource = nullptr;
};

std::string Skeleton(bool withAudio) {
    return std::string("<?xml version=\"1.0\" standalone=\"no\" ?>\n"
                       "<Header>\n"
                       "    <!-- header file -->\n"
                       "    <Camera />\n"
                       "    <Models />\n") +
           (withAudio ? "    <Audio />\n" : "") + "</Header>\n";
}

TEST_F(HdrNod, AnEmptyHeaderGetsItsSkeleton) {
    for (const bool withAudio : {false, true}) {
        // From an empty text, or attached to its own empty document.
        for (const bool parsed : {false, true}) {
            CHdrDocument document;
            document.m_WithAudio = withAudio;
            if (parsed)
                ASSERT_TRUE(Parse(document, " \n"));
            else
                document.AttachNode(document.GetDocument());
            EXPECT_EQ(Printed(document), Skeleton(withAudio)) << withAudio << parsed;
            EXPECT_EQ(document.m_Built, 1u);
            EXPECT_FALSE(document.HasParseError());
            EXPECT_TRUE(document.IsHeader());

            EXPECT_EQ(ChildClasses(document), (Names{"CHdrDeclaration", "CHdrElement"}));
            EXPECT_EQ(VisibleClasses(document), ChildClasses(document));
            CHdrElement* header = document.GetHeaderElement();
            ASSERT_EQ(header, document.GetChild(1));
            EXPECT_EQ(document.GetVisibleNod(), header);
            Names children = {"CHdrComment", "CHdrElement", "CHdrElement"};
            Names values = {" header file ", "Camera", "Models"};
            if (withAudio) {
                children.push_back("CHdrElement");
                values.push_back("Audio");
            }
            EXPECT_EQ(ChildClasses(*header), children);
            EXPECT_EQ(ChildValues(*header), values);
            // The comment is not among the visible children.
            children.erase(children.begin());
            EXPECT_EQ(VisibleClasses(*header), children);
            EXPECT_EQ(header->GetVisibleOwner(0), header->GetChild(1));
            EXPECT_EQ(ReadText(document, "UIChilds.0.Version"), "1.0");
            EXPECT_EQ(ReadText(document, "UIChilds.0.Encoding"), "");
            EXPECT_EQ(ReadText(document, "UIChilds.0.Standalone"), "no");
            EXPECT_EQ(ReadText(document, "UIChilds.1.UIChilds.0.Name"), "Camera");
        }
    }

    // A header that has content keeps it as it is.
    CHdrDocument document;
    ASSERT_TRUE(Parse(document, "<Header><Models/></Header>"));
    EXPECT_EQ(document.m_Built, 0u);
    EXPECT_EQ(Printed(document), "<Header>\n    <Models />\n</Header>\n");
    // A parse error is not hidden by a skeleton.
    EXPECT_FALSE(Parse(document, "<Header>"));
    EXPECT_TRUE(document.HasParseError());
    EXPECT_EQ(document.GetChildCount(), 0u);
}

TEST_F(HdrNod, TheFirstElementDecidesWhetherADocumentIsAHeader) {
    struct SCase {
        const char* Text;
        bool Header;
    };
    const SCase cases[] = {
        {"<Header><Camera/></Header>", true},
        {"<?xml version=\"1.0\"?><!-- first --><Header/>", true},
        {"<Other><Header/></Other>", false},
        {"<header/>", false},
        {"<!-- only a comment -->", true}, // no element decides
    };
    CHdrDocument document;
    for (const SCase& c : cases) {
        ASSERT_TRUE(Parse(document, c.Text)) << c.Text;
        EXPECT_EQ(document.IsHeader(), c.Header) << c.Text;
        CMwNod* element = document.GetHeaderElement();
        EXPECT_EQ(element != nullptr, c.Header && document.FindChildElement("Header")) << c.Text;
        EXPECT_EQ(document.GetVisibleNod(), element ? element : &document) << c.Text;
        EXPECT_EQ(document.m_Built, 0u);
    }

    // Nods of the header family make header children; plain ones plain children.
    CXmlDocument plain;
    ASSERT_TRUE(Parse(plain, "<!-- c --><Header>text</Header>"));
    EXPECT_EQ(ChildClasses(plain), (Names{"CXmlComment", "CXmlElement"}));
    EXPECT_EQ(ChildClasses(*plain.GetChild(1)), Names{"CXmlText"});
    ASSERT_TRUE(Parse(document, "<!-- c --><Header>text</Header>"));
    EXPECT_EQ(ChildClasses(document), (Names{"CHdrComment", "CHdrElement"}));
    EXPECT_EQ(VisibleClasses(document), Names{"CHdrElement"});
    EXPECT_EQ(ChildClasses(*document.GetChild(1)), Names{"CHdrText"});
}

TEST_F(HdrNod, StandardChildrenTakeTheirPlaces) {
    struct SCase {
        const char* Header;
        std::vector<const char*> Added;
        Names Order;
    };
    const SCase cases[] = {
        {"<Header><Models/><Audio/></Header>", {"Camera"}, {"Camera", "Models", "Audio"}},
        {"<Header><Audio/></Header>", {"Camera", "Models"}, {"Camera", "Models", "Audio"}},
        {"<Header><Audio/><Models/></Header>", {"Camera"}, {"Audio", "Camera", "Models"}},
        {"<Header><x/></Header>", {"Audio", "Camera", "Other"}, {"x", "Camera", "Audio", "Other"}},
        {"<Header><Models/></Header>", {"Models"}, {"Models", "Models"}},
    };
    for (const SCase& c : cases) {
        CHdrDocument document;
        ASSERT_TRUE(Parse(document, c.Header));
        CHdrElement* header = document.GetHeaderElement();
        ASSERT_NE(header, nullptr);
        for (const char* name : c.Added)
            ASSERT_NE(header->AddStandardChild(name), nullptr) << name;
        EXPECT_EQ(ChildValues(*header), c.Order) << c.Header;
        // The TinyXML tree has the same order, and every child is listed where it stands.
        Names tree;
        for (const TiXmlNode* node = header->GetNode()->FirstChild(); node;
             node = node->NextSibling())
            tree.push_back(node->ValueStr());
        EXPECT_EQ(tree, c.Order) << c.Header;
        ASSERT_EQ(header->m_UIChilds.m_Count, header->GetChildCount());
        for (u32 i = 0; i < header->GetChildCount(); ++i)
            EXPECT_EQ(header->m_UIChilds.m_Items[i], header->GetChild(i)) << c.Header;
    }
}

TEST_F(HdrNod, HeaderTextsNameFilesOfTheDataFolder) {
    // A file the tree knows although it is not on disk.
    ASSERT_NE(s_DataFolder->FindOrAddFid(u"Virtual\\v.txt", nullptr, false), nullptr);
    struct SCase {
        const char* Text;
        const char* File;
    };
    const SCase cases[] = {
        {"Models\\Car.txt", "Models\\Car.txt"},
        // A section keeps the blanks the parser would drop.
        {"<![CDATA[#models/CAR.txt \t\r\n]]>", "Models\\Car.txt"},
        {"Skins\\a b.txt", "Skins\\a b.txt"},
        {"Virtual\\v.txt", "Virtual\\v.txt"},
        {"Models\\Gone.txt", "<none>"},
        {"Models", "<none>"},
        {"..\\outside.txt", "<none>"},
        {"Models\\..\\..\\outside.txt", "<none>"},
        {"Models/../Car.txt", "<none>"},
        {"#", "<none>"},
    };
    // Every header text names its file; "Model" and "import" elements (names as written) take
    // it as theirs.
    for (const std::string element : {"Model", "import", "Import", "Camera"}) {
        const bool takes = element == "Model" || element == "import";
        for (const SCase& c : cases) {
            CHdrDocument document;
            ASSERT_TRUE(Parse(document,
                              "<Header><" + element + ">" + c.Text + "</" + element + "></Header>"))
                << c.Text;
            CXmlNod* model = document.GetHeaderElement()->GetChild(0);
            ASSERT_TRUE(model->IsKindOf(CHdrElement::s_ClassId));
            auto* text = static_cast<CHdrText*>(model->GetChild(0));
            ASSERT_TRUE(text->IsKindOf(CHdrText::s_ClassId));
            EXPECT_EQ(ToStd(text->m_Text), text->GetNode()->ValueStr());
            EXPECT_EQ(Relative(text->GetFid()), c.File) << c.Text;
            EXPECT_EQ(Relative(static_cast<CHdrElement*>(model)->GetFid()),
                      takes ? c.File : "<none>")
                << element << " " << c.Text;
            // The text is listed as its file, the element as itself.
            EXPECT_EQ(model->m_UIChilds.m_Count, text->GetFid() ? 1u : 0u) << c.Text;
            if (text->GetFid()) {
                EXPECT_EQ(model->m_UIChilds.m_Items[0], text->GetFid());
            }
            EXPECT_EQ(document.GetHeaderElement()->m_UIChilds.m_Items[0], model);
        }
    }
    // The file on disk was added to the tree once, spelled as on disk.
    EXPECT_EQ(Relative(s_DataFolder->FindFid(u"Models\\Car.txt", false)), "Models\\Car.txt");

    // Without data folder no text names a file.
    s_DataFolder = nullptr;
    CHdrDocument document;
    ASSERT_TRUE(Parse(document, "<Header><Model>Models\\Car.txt</Model></Header>"));
    auto* text = static_cast<CHdrText*>(document.GetHeaderElement()->GetChild(0)->GetChild(0));
    EXPECT_EQ(text->GetFid(), nullptr);
}

TEST_F(HdrNod, FilesSetOnVisibleEntriesRenameTheTexts) {
    CSystemFidFile* car = DataFile(u"Models\\Car.txt");
    CSystemFidFile* skin = DataFile(u"Skins\\a b.txt");
    CSystemFidFile* outside =
        static_cast<CSystemFidFile*>(m_Tree->m_Folder->FindFid(u"outside.txt", true));
    ASSERT_TRUE(car && skin && outside);
    CHdrDocument document;
    ASSERT_TRUE(Parse(document, "<Header><!-- c -->Skins\\a b.txt<Camera/>"
                                "<Model>Models\\Car.txt</Model></Header>"));
    CHdrElement& header = *document.GetHeaderElement();
    auto* text = static_cast<CHdrText*>(header.GetChild(1));
    auto* camera = static_cast<CHdrElement*>(header.GetChild(2));
    auto* model = static_cast<CHdrElement*>(header.GetChild(3));
    // Entry 0 is the text's file (the comment is hidden), 1 the camera, 2 the model element.
    ASSERT_EQ(header.m_UIChilds.m_Count, 3u);
    EXPECT_EQ(header.m_UIChilds.m_Items[0], skin);
    EXPECT_EQ(header.GetVisibleOwner(0), text);

    struct SCase {
        u32 Entry;
        CMwNod* Nod;
        u32 Result;
        CMwNod* Listed; // the entry afterwards
        const char* TextFile;
        const char* ModelFile;
    };
    const SCase cases[] = {
        // The text takes the file and is listed as it.
        {0, car, 0, car, "Models\\Car.txt", "Models\\Car.txt"},
        // The model element gives the file to its text and stays listed as itself.
        {2, skin, 0, model, "Models\\Car.txt", "Skins\\a b.txt"},
        // Nods that are no file of the data folder are refused; nothing changes.
        {0, outside, 2, car, "Models\\Car.txt", "Skins\\a b.txt"},
        {0, &document, 2, car, "Models\\Car.txt", "Skins\\a b.txt"},
        {0, nullptr, 2, car, "Models\\Car.txt", "Skins\\a b.txt"},
        {2, outside, 2, model, "Models\\Car.txt", "Skins\\a b.txt"},
        // Another element takes any nod as its entry, without changing the document.
        {1, car, 0, car, "Models\\Car.txt", "Skins\\a b.txt"},
    };
    for (const SCase& c : cases) {
        const std::string entry = "UIChilds.0.UIChilds." + std::to_string(c.Entry);
        EXPECT_EQ(WriteNod(document, entry.c_str(), c.Nod), c.Result) << entry;
        EXPECT_EQ(header.m_UIChilds.m_Items[c.Entry], c.Listed) << entry;
        EXPECT_EQ(Relative(text->GetFid()), c.TextFile) << entry;
        EXPECT_EQ(Relative(model->GetFid()), c.ModelFile) << entry;
    }
    EXPECT_EQ(header.GetVisibleOwner(1), camera);
    EXPECT_TRUE(text->CanTakeFid(skin));
    EXPECT_FALSE(text->CanTakeFid(outside));
    EXPECT_TRUE(model->CanTakeFid(car));
    EXPECT_FALSE(camera->CanTakeFid(car));
    // The texts written are in the printed document.
    EXPECT_EQ(Printed(document), "<Header>\n"
                                 "    <!-- c -->\n"
                                 "    Models\\Car.txt\n"
                                 "    <Camera />\n"
                                 "    <Model>Skins\\a b.txt</Model>\n"
                                 "</Header>\n");
    // The files keep the texts as dependants while the document lives.
    EXPECT_EQ(car->GetDependantCount(), 1u);
    EXPECT_EQ(skin->GetDependantCount(), 1u);
}

TEST_F(HdrNod, AFileIdThatGoesIsForgotten) {
    CHdrDocument document;
    ASSERT_TRUE(Parse(document, "<Header>Models\\Car.txt<Model>Skins\\a b.txt</Model></Header>"));
    CHdrElement& header = *document.GetHeaderElement();
    auto* text = static_cast<CHdrText*>(header.GetChild(0));
    auto* model = static_cast<CHdrElement*>(header.GetChild(1));
    CSystemFidFile* car = text->GetFid();
    CSystemFidFile* skin = model->GetFid();
    ASSERT_TRUE(car && skin);
    ASSERT_EQ(header.m_UIChilds.m_Count, 2u);

    // Destroyed: the text forgets it and its entry goes.
    delete car;
    EXPECT_EQ(text->GetFid(), nullptr);
    ASSERT_EQ(header.m_UIChilds.m_Count, 1u);
    EXPECT_EQ(header.m_UIChilds.m_Items[0], model);
    EXPECT_EQ(header.GetVisibleOwner(0), model);

    // Released to 0: the text lets go of it, and it goes with its last dependant.
    skin->AddRef();
    skin->Release();
    EXPECT_EQ(model->GetFid(), nullptr);
    EXPECT_EQ(model->m_UIChilds.m_Count, 0u);
    EXPECT_EQ(s_DataFolder->FindFid(u"Skins\\a b.txt", false), nullptr);
    // The texts themselves are unchanged.
    EXPECT_EQ(Printed(document),
              "<Header>\n    Models\\Car.txt\n    <Model>Skins\\a b.txt</Model>\n"
              "</Header>\n");

    // A document that goes first stops depending on its files.
    CSystemFidFile* again = DataFile(u"Models\\Car.txt");
    {
        CHdrDocument other;
        ASSERT_TRUE(Parse(other, "<Header>Models\\Car.txt</Header>"));
        EXPECT_EQ(again->GetDependantCount(), 1u);
    }
    EXPECT_EQ(again->GetDependantCount(), 0u);
}

} // namespace
