// The XML nods: the mirror of a parsed document, the string members that read and write the
// TinyXML values, the visible children and their entries set through member paths, the editable
// flag, and the parse with its limits.
#include "XmlTestSupport.h"
#include "tests/core/CoreTestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class XmlNod : public CXmlFixture {};

constexpr char kSample[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<!-- note -->\n"
                           "<!DOCTYPE root>\n"
                           "<root a=\"1\" b=\"two\">"
                           "<child>text<![CDATA[raw <data>]]></child><empty/>"
                           "</root>\n";

TEST_F(XmlNod, EveryNodeGetsANodOfItsTypesClass) {
    // Created by class id, as the engine makes them.
    std::unique_ptr<CMwNod> made(CMwClassRegistry::CreateNodById(CXmlDocument::s_ClassId));
    ASSERT_NE(made, nullptr);
    auto& document = static_cast<CXmlDocument&>(*made);
    ASSERT_TRUE(Parse(document, kSample));
    EXPECT_FALSE(document.HasParseError());
    EXPECT_EQ(document.GetNode(), document.GetDocument());

    EXPECT_EQ(ChildClasses(document),
              (Names{"CXmlDeclaration", "CXmlComment", "CXmlUnknown", "CXmlElement"}));
    EXPECT_EQ(VisibleClasses(document), ChildClasses(document));
    CXmlNod& root = *document.GetChild(3);
    EXPECT_EQ(ChildClasses(root), (Names{"CXmlElement", "CXmlElement"}));
    EXPECT_EQ(ChildClasses(*root.GetChild(0)), (Names{"CXmlText", "CXmlText"}));
    for (u32 i = 0; i < document.GetChildCount(); ++i)
        EXPECT_EQ(document.GetChild(i)->GetParent(), &document);
    EXPECT_EQ(root.GetChild(1)->GetParent(), &root);
    // Each nod stands for its own node of the tree.
    EXPECT_EQ(root.GetNode(), document.GetDocument()->RootElement());
    EXPECT_EQ(root.GetChild(0)->GetChild(1)->GetNode(),
              document.GetDocument()->RootElement()->FirstChild()->LastChild());

    // The attributes, in their order.
    ASSERT_EQ(root.m_Attributes.m_Count, 2u);
    EXPECT_EQ(ReadText(document, "UIChilds.3.Attributes.0.Name"), "a");
    EXPECT_EQ(ReadText(document, "UIChilds.3.Attributes.1.Name"), "b");
    EXPECT_EQ(ReadText(document, "UIChilds.3.Attributes.1.Value"), "two");
    EXPECT_EQ(root.GetChild(1)->m_Attributes.m_Count, 0u);

    // The texts, read through member paths from the document.
    const std::vector<std::pair<const char*, const char*>> texts = {
        {"UIChilds.0.Version", "1.0"},
        {"UIChilds.0.Encoding", "UTF-8"},
        {"UIChilds.0.Standalone", "yes"},
        {"UIChilds.1.Comment", " note "},
        {"UIChilds.3.Name", "root"},
        {"UIChilds.3.UIChilds.0.Name", "child"},
        {"UIChilds.3.UIChilds.0.UIChilds.0.Text", "text"},
        {"UIChilds.3.UIChilds.0.UIChilds.1.Text", "raw <data>"},
    };
    for (const auto& [path, text] : texts)
        EXPECT_EQ(ReadText(document, path), text) << path;
}

TEST_F(XmlNod, StringMembersWriteTheTinyXmlValuesInPlace) {
    struct SCase {
        const char* Path;
        const char* Text;
        u32 Result;
        const char* Printed; // a part of the printed document after the write
    };
    const SCase cases[] = {
        {"UIChilds.3.Name", "top", 0, "<top a=\"1\" b=\"two\">"},
        {"UIChilds.3.Attributes.0.Name", "first", 0, "<top first=\"1\" b=\"two\">"},
        // A value holding '"' is printed between single quotes.
        {"UIChilds.3.Attributes.1.Value", "x < y & \"z\"", 0, "b='x &lt; y &amp; &quot;z&quot;'"},
        {"UIChilds.1.Comment", " changed ", 0, "<!-- changed -->"},
        {"UIChilds.3.UIChilds.0.UIChilds.0.Text", "new text", 0,
         "<child>\n        new text\n        <![CDATA[raw <data>]]>"},
        // The declaration is read only.
        {"UIChilds.0.Version", "2.0", 2, "<?xml version=\"1.0\""},
        {"UIChilds.0.Encoding", "latin1", 2, "encoding=\"UTF-8\""},
        {"UIChilds.0.Standalone", "no", 2, "standalone=\"yes\""},
    };
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, kSample));
    for (const SCase& c : cases) {
        EXPECT_EQ(WriteText(document, c.Path, c.Text), c.Result) << c.Path;
        if (c.Result == MwParam_Ok) {
            EXPECT_EQ(ReadText(document, c.Path), c.Text) << c.Path;
        }
        EXPECT_NE(Printed(document).find(c.Printed), std::string::npos) << c.Path << "\n"
                                                                        << Printed(document);
    }

    // Nods without a node read an empty text and have nothing to write into.
    CXmlElement element;
    CXmlAttribute attribute;
    EXPECT_EQ(ReadText(element, "Name"), "");
    EXPECT_EQ(WriteText(element, "Name", "x"), 2u);
    EXPECT_EQ(ReadText(attribute, "Value"), "");
    EXPECT_EQ(WriteText(attribute, "Value", "x"), 2u);
}

// Names and comments are printed as they are and a section's text between its markers: a write
// that the parser would read back otherwise is refused, the document unchanged; the texts that are
// taken read back as written.
TEST_F(XmlNod, WritesThatWouldNotReadBackAreRefused) {
    struct SCase {
        const char* Path; // from the document
        std::string Text;
        const char* Log; // null: written
    };
    constexpr const char* kFirst = "UIChilds.0.Attributes.0.Name";
    constexpr const char* kSecond = "UIChilds.0.Attributes.1.Value";
    constexpr const char* kComment = "UIChilds.0.UIChilds.0.Comment";
    constexpr const char* kText = "UIChilds.0.UIChilds.1.UIChilds.0.Text";
    constexpr const char* kSection = "UIChilds.0.UIChilds.1.UIChilds.1.Text";
    constexpr const char* kNotName = "[Xml] Name not written: it is not an XML name";
    const SCase cases[] = {
        {"UIChilds.0.Name", "a b", kNotName},
        {"UIChilds.0.Name", "", kNotName},
        {"UIChilds.0.Name", "1a", kNotName},
        {"UIChilds.0.Name", "-a", kNotName},
        {"UIChilds.0.Name", "a<b", kNotName},
        {"UIChilds.0.Name", "a/", kNotName},
        {kFirst, "x=y", kNotName},
        {kFirst, "b", "[Xml] Name not written: the element has another attribute of that name"},
        {kSecond, std::string("a\0b", 3), "[Xml] Value not written: it holds a NUL byte"},
        {kText, std::string("\0", 1), "[Xml] Text not written: it holds a NUL byte"},
        {kComment, " a -- b ", "[Xml] Comment not written: a comment holds no \"--\""},
        {kComment, "x-->y", "[Xml] Comment not written: a comment holds no \"--\""},
        {kComment, "end-", "and does not end with '-'"},
        {kSection, "a]]>b", "[Xml] Text not written: a CDATA section holds no \"]]>\""},
        // UTF-8 only: a sequence cut short would take the markup after it.
        {kText, "caf\xE9", "[Xml] Text not written: it is not UTF-8"},
        {"UIChilds.0.Name", "a\xC3", "[Xml] Name not written: it is not UTF-8"},
        {kComment, "\xC0\xAF", "[Xml] Comment not written: it is not UTF-8"},
        {kSecond, "\xED\xA0\x80", "[Xml] Value not written: it is not UTF-8"},
        {kSection, "\xF4\x90\x80\x80", "[Xml] Text not written: it is not UTF-8"},
        {kText, "\x80", "[Xml] Text not written: it is not UTF-8"},
        // Taken: names as the parser reads them, texts and values it prints with escapes.
        {"UIChilds.0.Name", "\xC3\xA9t\xC3\xA9_x.y-z:1", nullptr},
        {"UIChilds.0.Name", "_", nullptr},
        {kFirst, "a", nullptr},
        {kFirst, "z", nullptr},
        {kSecond, "]]> -- <&>\"'", nullptr},
        {kComment, " a - b ", nullptr},
        {kText, "]]> -- <x>", nullptr},
        {kText, "\xF0\x9F\x98\x80 \xEF\xBF\xBF \xC2\x80", nullptr},
        {kSection, "<raw> ]] > --", nullptr},
    };
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<root a=\"1\" b=\"two\"><!-- c -->"
                                "<child>text<![CDATA[raw]]></child></root>"));
    CXmlNod& root = *document.GetChild(0);
    for (const SCase& c : cases) {
        const std::string before = Printed(document);
        const CClassicString value(CClassicStringRef(c.Text.data(), u32(c.Text.size())));
        CMwMemberPath path;
        ASSERT_TRUE(ParsePath(path, document, c.Path)) << c.Path;
        // A list of nods answers 0 for a set that goes on in one of its nods, whatever the nod
        // answers: an attribute is also written through its own member, which answers.
        const bool attribute = c.Path == kFirst || c.Path == kSecond;
        CXmlAttribute& own = *root.m_Attributes.m_Items[c.Path == kFirst ? 0 : 1];
        CMwMemberPath ownPath;
        ASSERT_TRUE(ParsePath(ownPath, own, c.Path == kFirst ? "Name" : "Value"));
        const CLogWatch log;
        if (c.Log) {
            EXPECT_EQ(document.SetParam(&path, &value), attribute ? 0u : 2u) << c.Path;
            if (attribute) {
                EXPECT_EQ(own.SetParam(&ownPath, &value), 2u) << c.Path << " " << c.Text;
            }
            EXPECT_NE(log.Since().find(c.Log), std::string::npos) << c.Text << log.Since();
            EXPECT_EQ(Printed(document), before) << c.Text;
            continue;
        }
        if (attribute) {
            EXPECT_EQ(own.SetParam(&ownPath, &value), 0u) << c.Path << " " << c.Text;
        } else {
            EXPECT_EQ(document.SetParam(&path, &value), 0u) << c.Path << " " << c.Text;
        }
        EXPECT_EQ(log.Since(), "") << c.Text;
        EXPECT_EQ(ReadText(document, c.Path), c.Text);
        // The parser reads the printed document back as it was.
        CXmlDocument again;
        ASSERT_TRUE(Parse(again, Printed(document))) << Printed(document);
        EXPECT_EQ(ReadText(again, c.Path), c.Text) << Printed(document);
        EXPECT_EQ(Printed(again), Printed(document));
    }
}

// Another parser reads what is printed after edits: well formed, attributes in their order, the
// texts as written.
TEST_F(XmlNod, PrintedDocumentsReadBackInAnotherParser) {
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<?xml version=\"1.0\"?><list z=\"1\" a=\"2\" m=\"3\">"
                                "<item>one</item><item/></list>"));
    ASSERT_EQ(WriteText(document, "UIChilds.1.Attributes.1.Value", "<&>\"'"), 0u);
    ASSERT_EQ(WriteText(document, "UIChilds.1.UIChilds.0.UIChilds.0.Text", "a & b < c"), 0u);
    ASSERT_EQ(WriteText(document, "UIChilds.1.UIChilds.1.Name", "last"), 0u);

    CTempFolder folder;
    WriteWholeFile(folder.File("printed.txt"), Printed(document));
    const std::string script = "import sys, xml.dom.minidom\n"
                               "root = xml.dom.minidom.parse(sys.argv[1]).documentElement\n"
                               "print(root.tagName)\n"
                               "for name, value in root.attributes.items(): print(name, value)\n"
                               "for node in root.childNodes:\n"
                               "    if node.nodeType == node.ELEMENT_NODE:\n"
                               "        print(node.tagName, repr(node.toxml()))\n";
    EXPECT_EQ(RunPython(folder, script, folder.File("printed.txt")),
              "list\n"
              "z 1\n"
              "a <&>\"'\n"
              "m 3\n"
              "item '<item>a &amp; b &lt; c</item>'\n"
              "last '<last/>'\n");
}

TEST_F(XmlNod, TextsTheParserRefusesLeaveAnEmptyDocument) {
    const char* const refused[] = {
        "<a>",                  // not closed
        "<a></b>",              // closed by another name
        "<a><b></a>",           // an element left open inside another
        "<a b=\"1\" b=\"2\"/>", // an attribute twice
        "<a b='1></a>",         // a value not ended
        "<a b></a>",            // an attribute without value
        "<a>&#xZZ;</a>",        // a character reference that is no number
        "<a><![CDATA[x</a>",    // a section not ended
        "text only",            // no node at all, but not empty
        "<a>x\xF0",             // the end inside a character of four bytes
    };
    CXmlDocument document;
    for (const char* text : refused) {
        ASSERT_TRUE(Parse(document, "<before><x/></before>"));
        ASSERT_EQ(document.GetChildCount(), 1u);
        const CLogWatch log;
        EXPECT_FALSE(Parse(document, text)) << text;
        EXPECT_TRUE(document.HasParseError()) << text;
        EXPECT_EQ(document.GetChildCount(), 0u) << text;
        EXPECT_EQ(document.GetNode(), nullptr) << text;
        EXPECT_EQ(document.GetDocument()->FirstChild(), nullptr) << text;
        EXPECT_NE(log.Since().find("[Xml] Text not parsed: "), std::string::npos) << text;
        EXPECT_EQ(Printed(document), "") << text;
    }

    // A text without any node is an empty document, and no error.
    for (const char* text : {"", "  \r\n\t"}) {
        EXPECT_TRUE(Parse(document, text));
        EXPECT_FALSE(document.HasParseError());
        EXPECT_EQ(document.GetChildCount(), 0u);
        EXPECT_EQ(document.GetNode(), document.GetDocument());
    }
}

std::string Nested(u32 depth) {
    std::string text;
    for (u32 i = 0; i < depth; ++i)
        text += "<a>";
    for (u32 i = 0; i < depth; ++i)
        text += "</a>";
    return text;
}

// The parser descends once per level: deep texts are parsed on a stack large enough for them and
// refused past the depth the nods accept, texts too costly to parse are refused unread.
TEST_F(XmlNod, TextsPastTheLimitsAreRefusedWithoutHarm) {
    struct SCase {
        std::string Text;
        bool Parsed;
        const char* Log;
    };
    std::string attributes = "<a";
    for (u32 i = 0; i <= kXmlMaxEqualSigns; ++i)
        attributes += " a" + std::to_string(i) + "=\"\"";
    attributes += "/>";
    const SCase cases[] = {
        {Nested(kXmlMaxDepth), true, ""},
        {Nested(kXmlMaxDepth + 1), false, "[Xml] Text refused: it nests deeper than 256 levels"},
        {Nested(4000), false, "[Xml] Text refused: it nests deeper than 256 levels"},
        {std::string(kXmlMaxOpenings, '<'), true, ""},
        {std::string(kXmlMaxOpenings + 1, '<'), false,
         "[Xml] Text refused: it has more than 16384 openings or 16384 '=' signs"},
        {attributes, false, "[Xml] Text refused: it has more than 16384 openings or 16384 '='"},
        {std::string("<a>\0</a>", 8), false, "[Xml] Text refused: it holds a NUL byte"},
        {std::string(kXmlMaxTextSize + 1, ' '), false,
         "[Xml] Text refused: it is larger than 16777216 bytes"},
    };
    CXmlDocument document;
    for (const SCase& c : cases) {
        const CLogWatch log;
        EXPECT_EQ(Parse(document, c.Text), c.Parsed) << c.Text.size();
        EXPECT_EQ(document.HasParseError(), !c.Parsed);
        EXPECT_NE(log.Since().find(c.Log), std::string::npos) << c.Text.size() << log.Since();
        if (!c.Parsed) {
            EXPECT_EQ(document.GetDocument()->FirstChild(), nullptr);
        }
    }
    // The deepest accepted text is mirrored whole.
    ASSERT_TRUE(Parse(document, Nested(kXmlMaxDepth)));
    const CXmlNod* nod = &document;
    u32 depth = 0;
    while (nod->GetChildCount() == 1) {
        nod = nod->GetChild(0);
        ++depth;
    }
    EXPECT_EQ(depth, kXmlMaxDepth);
}

TEST_F(XmlNod, VisibleEntriesAreSetThroughMemberPaths) {
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<root><a/><b/></root>"));
    CXmlNod& root = *document.GetChild(0);
    CXmlNod* a = root.GetChild(0);
    CXmlNod* b = root.GetChild(1);
    CXmlText other;

    // With items after the entry, the set goes on in the entry's nod.
    EXPECT_EQ(WriteText(document, "UIChilds.0.UIChilds.1.Name", "second"), 0u);
    EXPECT_EQ(Printed(document), "<root>\n    <a />\n    <second />\n</root>\n");
    // A plain nod accepts any nod as its entry; the entry holds no reference.
    EXPECT_EQ(WriteNod(document, "UIChilds.0.UIChilds.1", &other), 0u);
    EXPECT_EQ(root.m_UIChilds.m_Items[1], &other);
    EXPECT_EQ(root.GetVisibleOwner(1), b);
    EXPECT_EQ(other.GetRefCount(), 0);
    EXPECT_EQ(WriteNod(document, "UIChilds.0.UIChilds.0", nullptr), 0u);
    EXPECT_EQ(root.m_UIChilds.m_Items[0], nullptr);
    // Past the entries, or no entry named: nothing changes.
    EXPECT_EQ(WriteNod(document, "UIChilds.0.UIChilds.2", a), 2u);
    CMwMemberPath path;
    ASSERT_TRUE(ParsePath(path, root, "UIChilds"));
    EXPECT_EQ(root.SetParam(&path, a), 2u);
    EXPECT_EQ(root.m_UIChilds.m_Count, 2u);
    EXPECT_EQ(root.GetChildCount(), 2u);
    // The list cannot grow through its member.
    ASSERT_TRUE(ParsePath(path, root, "UIChilds"));
    EXPECT_EQ(root.AddParam(&path, a), 2u);
}

// A nod with a name id, for the entries chosen by name.
class CNamedNod : public CMwNod {
public:
    explicit CNamedNod(const char* name) { m_Id.SetFromName(name); }
    CMwId* GetIdPtr() override { return &m_Id; }
    CMwId m_Id;
};

TEST_F(XmlNod, VisibleEntriesAreChosenByName) {
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<root><a/><b/><c/></root>"));
    CXmlNod& root = *document.GetChild(0);
    CNamedNod wheel("Wheel"), tyre("Tyre"), other("Other");
    ASSERT_EQ(WriteNod(document, "UIChilds.0.UIChilds.1", &wheel), 0u);
    ASSERT_EQ(WriteNod(document, "UIChilds.0.UIChilds.2", &tyre), 0u);

    // With items after the name, the set goes on in the nod of that name.
    EXPECT_EQ(WriteText(document, "UIChilds.0.UIChilds.##Tyre.IdName", "Spare"), 0u);
    CClassicString name;
    tyre.m_Id.GetText(name);
    EXPECT_EQ(ToStd(name), "Spare");
    // Ending at the name, the entry of that name takes the nod; the others stay.
    EXPECT_EQ(WriteNod(document, "UIChilds.0.UIChilds.##Wheel", &other), 0u);
    const std::vector<CMwNod*> entries = {root.GetChild(0), &other, &tyre};
    for (u32 i = 0; i < 3; ++i) {
        EXPECT_EQ(root.m_UIChilds.m_Items[i], entries[i]) << i;
        EXPECT_EQ(root.GetVisibleOwner(i), root.GetChild(i)) << i;
    }
    // No entry of that name (any more): nothing changes.
    EXPECT_EQ(WriteNod(document, "UIChilds.0.UIChilds.##Wheel", &wheel), 2u);
    EXPECT_EQ(WriteText(document, "UIChilds.0.UIChilds.##Tyre.IdName", "x"), 2u);
    EXPECT_EQ(root.m_UIChilds.m_Items[1], &other);
    EXPECT_EQ(root.m_UIChilds.m_Items[2], &tyre);
}

TEST_F(XmlNod, InsertedChildrenAndTheEditableFlagReachEveryNod) {
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<root><a><deep/></a><c/></root>"));
    CXmlNod& root = *document.GetChild(0);
    document.SetEditable(0);
    EXPECT_EQ(root.GetChild(0)->GetChild(0)->m_Editable, 0u);

    // An element made in the tree before "c" and mirrored there: the visible children follow.
    TiXmlNode* made =
        root.GetNode()->InsertBeforeChild(root.GetChild(1)->GetNode(), TiXmlElement("b"));
    ASSERT_NE(made, nullptr);
    CXmlNod* b = root.CreateForNode(made);
    ASSERT_NE(b, nullptr);
    root.InsertChild(1, b);
    EXPECT_EQ(ChildValues(root), (Names{"a", "b", "c"}));
    ASSERT_EQ(root.m_UIChilds.m_Count, 3u);
    for (u32 i = 0; i < 3; ++i) {
        EXPECT_EQ(root.m_UIChilds.m_Items[i], root.GetChild(i));
        EXPECT_EQ(root.GetVisibleOwner(i), root.GetChild(i));
    }
    EXPECT_EQ(b->GetParent(), &root);
    EXPECT_EQ(b->m_Editable, 0u) << "a nod added takes its parent's flag";
    EXPECT_EQ(Printed(document), "<root>\n    <a>\n        <deep />\n    </a>\n    <b />\n"
                                 "    <c />\n</root>\n");

    document.SetEditable(1);
    EXPECT_EQ(b->m_Editable, 1u);
    EXPECT_EQ(root.GetChild(0)->GetChild(0)->m_Editable, 1u);
}

// Nods are counted like any other: one that loses its last reference before its parent leaves
// the parent's lists, and the document stays as it was.
TEST_F(XmlNod, ANodThatGoesBeforeItsParentLeavesItsLists) {
    CXmlDocument document;
    ASSERT_TRUE(Parse(document, "<root x=\"1\" y=\"2\"><a/><b/><c/></root>"));
    CXmlNod& root = *document.GetChild(0);
    CXmlNod* b = root.GetChild(1);
    CXmlAttribute* x = root.m_Attributes.m_Items[0];
    b->AddRef();
    b->Release();
    x->AddRef();
    x->Release();
    EXPECT_EQ(ChildValues(root), (Names{"a", "c"}));
    ASSERT_EQ(root.m_UIChilds.m_Count, 2u);
    EXPECT_EQ(root.m_UIChilds.m_Items[1], root.GetChild(1));
    EXPECT_EQ(root.GetVisibleOwner(1), root.GetChild(1));
    EXPECT_EQ(ReadText(document, "UIChilds.0.Attributes.0.Name"), "y");
    EXPECT_EQ(root.m_Attributes.m_Count, 1u);
    EXPECT_EQ(Printed(document),
              "<root x=\"1\" y=\"2\">\n    <a />\n    <b />\n    <c />\n</root>\n");
}

} // namespace
