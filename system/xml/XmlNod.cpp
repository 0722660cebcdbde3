#include "system/xml/XmlNod.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwVirtualMember.h"
#include "platform/Stack.h"
#include "system/xml/HdrNod.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <tinyxml.h>

#define CXMLATTRIBUTE_MEMBERS(X)                                                                   \
    X(String, 0x14002000, "Name", MW_VIRTUAL(""), "Name", 0x33, 0x3F80)                            \
    X(String, 0x14002001, "Value", MW_VIRTUAL(""), "Value", 0x33, 0x3F80)
#define CXMLNOD_MEMBERS(X)                                                                         \
    X(Buffer, 0x14001000, "Attributes", MW_FIELD(m_Attributes), "Attributes", 0x01, 0x3F82,        \
      MwType_Class, 0x1, "Attribute", &CXmlAttribute::s_ClassInfo)                                 \
    X(Buffer, 0x14001001, "UIChilds", MW_FIELD(m_UIChilds), "Childs", 0x23, 0x3F82, MwType_Class,  \
      0x3, "Child", &CMwNod::s_ClassInfo)
#define CXMLCOMMENT_MEMBERS(X)                                                                     \
    X(String, 0x14003000, "Comment", MW_VIRTUAL(""), "Comment", 0x33, 0x3F80)
#define CXMLDECLARATION_MEMBERS(X)                                                                 \
    X(String, 0x14004000, "Version", MW_VIRTUAL(""), "Version", 0x11, 0x3F80)                      \
    X(String, 0x14004001, "Encoding", MW_VIRTUAL(""), "Encoding", 0x11, 0x3F80)                    \
    X(String, 0x14004002, "Standalone", MW_VIRTUAL(""), "Standalone", 0x11, 0x3F80)
#define CXMLELEMENT_MEMBERS(X) X(String, 0x14006000, "Name", MW_VIRTUAL(""), "Name", 0x33, 0x3F80)
#define CXMLTEXT_MEMBERS(X) X(String, 0x14007000, "Text", MW_VIRTUAL(""), "Text", 0x33, 0x3F80)

MW_DEFINE_CLASS(CXmlAttribute, MwFactory<CXmlAttribute>, CXMLATTRIBUTE_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlNod, MwFactory<CXmlNod>, CXMLNOD_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlComment, MwFactory<CXmlComment>, CXMLCOMMENT_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlDeclaration, MwFactory<CXmlDeclaration>, CXMLDECLARATION_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlDocument, MwFactory<CXmlDocument>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlElement, MwFactory<CXmlElement>, CXMLELEMENT_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlText, MwFactory<CXmlText>, CXMLTEXT_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CXmlUnknown, MwFactory<CXmlUnknown>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

// ---------------------------------------------------------------------------------------------
// Texts of the string members

u32 AnswerText(CMwParamValue* out, CClassicString& scratch, std::string_view text) {
    scratch.Assign(CClassicStringRef(text.data(), u32(text.size())));
    out->Value = &scratch;
    return MwParam_Ok;
}

u32 AnswerText(CMwParamValue* out, CClassicString& scratch, const char* text) {
    return AnswerText(out, scratch, std::string_view(text ? text : ""));
}

std::string InputText(const void* value) {
    const auto& text = *static_cast<const CClassicString*>(value);
    return std::string(text.GetText(), text.GetLength());
}

// The node's value text; empty without a node.
u32 AnswerValue(CMwParamValue* out, CClassicString& scratch, const TiXmlNode* node) {
    return AnswerText(out, scratch, node ? std::string_view(node->ValueStr()) : std::string_view());
}

// What a written text is in the document: how it is printed decides what reads back.
enum class EXmlWrite { Name, Value, Comment, Text, Section };

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameByte(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
}

// Whether the text is UTF-8 throughout. The parser reads a document as UTF-8 unless it declares
// another encoding, and takes a lead byte's count of following bytes without looking at them: a
// sequence cut short would swallow the markup after it.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        u32 low = 0x80, high = 0xBF; // the range of the byte after the lead
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// Why the text cannot be written where it goes, or null. Names and comments are printed as they
// are and a section's text between its markers, so a text the parser would read otherwise (a
// name it does not take for one, a comment or section ended early) would change or lose the
// document on its next parse; other texts and values are printed with escapes. No text holds a
// NUL, which a parsed one never does, and every text is UTF-8.
const char* WriteRefusal(EXmlWrite kind, std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        return "it holds a NUL byte";
    if (!IsUtf8(text))
        return "it is not UTF-8";
    switch (kind) {
        case EXmlWrite::Name:
            if (text.empty() || !IsNameStart(static_cast<unsigned char>(text[0])) ||
                !std::all_of(text.begin(), text.end(),
                             [](char c) { return IsNameByte(static_cast<unsigned char>(c)); }))
                return "it is not an XML name";
            return nullptr;
        case EXmlWrite::Comment:
            if (text.find("--") != std::string_view::npos || text.ends_with('-'))
                return "a comment holds no \"--\" and does not end with '-'";
            return nullptr;
        case EXmlWrite::Section:
            if (text.find("]]>") != std::string_view::npos)
                return "a CDATA section holds no \"]]>\"";
            return nullptr;
        case EXmlWrite::Value:
        case EXmlWrite::Text:
            return nullptr;
    }
    return nullptr;
}

// False, with a log line naming the member, when the text cannot be written.
bool WritableText(const char* member, EXmlWrite kind, std::string_view text) {
    const char* refusal = WriteRefusal(kind, text);
    if (refusal)
        ClassicLogFormatLine("[Xml] %s not written: %s", member, refusal);
    return !refusal;
}

u32 WriteValue(TiXmlNode* node, const void* value, const char* member, EXmlWrite kind) {
    if (!node || !value)
        return MwParam_NotFound;
    const std::string text = InputText(value);
    if (!WritableText(member, kind, text))
        return MwParam_NotFound;
    node->SetValue(text);
    return MwParam_Ok;
}

// ---------------------------------------------------------------------------------------------
// Order-keeping edits of the visible children

template <class T>
void InsertAt(CFastBuffer<T>& list, u32 index, T item) {
    list.Add(item);
    for (u32 i = list.m_Count - 1; i > index; --i)
        list.m_Items[i] = list.m_Items[i - 1];
    list.m_Items[index] = item;
}

template <class T>
void RemoveAt(CFastBuffer<T>& list, u32 index) {
    for (u32 i = index + 1; i < list.m_Count; ++i)
        list.m_Items[i - 1] = list.m_Items[i];
    --list.m_Count;
}

// ---------------------------------------------------------------------------------------------
// Parsing

// The class of each node type, for the plain family and the header family.
u32 ClassOfNodeType(int type, bool header) {
    switch (type) {
        case TiXmlNode::TINYXML_DOCUMENT:
            return header ? CHdrDocument::s_ClassId : CXmlDocument::s_ClassId;
        case TiXmlNode::TINYXML_ELEMENT:
            return header ? CHdrElement::s_ClassId : CXmlElement::s_ClassId;
        case TiXmlNode::TINYXML_COMMENT:
            return header ? CHdrComment::s_ClassId : CXmlComment::s_ClassId;
        case TiXmlNode::TINYXML_UNKNOWN:
            return header ? CHdrUnknown::s_ClassId : CXmlUnknown::s_ClassId;
        case TiXmlNode::TINYXML_TEXT:
            return header ? CHdrText::s_ClassId : CXmlText::s_ClassId;
        case TiXmlNode::TINYXML_DECLARATION:
            return header ? CHdrDeclaration::s_ClassId : CXmlDeclaration::s_ClassId;
        default:
            return CMwNod::s_NoClassId;
    }
}

bool IsHeaderClass(u32 classId) {
    return classId >= CHdrComment::s_ClassId && classId <= CHdrUnknown::s_ClassId;
}

// The parser descends once per nesting level, with frames of about 220 bytes. A text that cannot
// nest deeper than the nods accept is parsed on the caller's stack (some 60 KB at most); any other
// on a thread whose stack holds as many levels as the text has openings, with room to spare,
// whatever stack the caller has left (making the thread costs some 40 microseconds).
constexpr size_t kParseStackBase = size_t(1) << 20;
constexpr size_t kParseStackPerOpening = 512;

// The parser reads a text that ends inside a multi-byte UTF-8 sequence up to 3 bytes past its
// terminating NUL, and goes on with what it finds there: the copy it parses ends with NULs enough
// to stop it.
constexpr size_t kParsePadding = 8;

// What the parse's costs grow with: every '<' that is not followed by '/' (the opening of an
// element, comment, declaration or other markup: at least as many as the levels of nesting), and
// the '=' signs (at least as many as the attributes). False for a text holding a NUL, which XML
// does not allow and the parser would take for the end.
bool CountOpenings(std::string_view text, u32* openings, u32* equalSigns) {
    *openings = 0;
    *equalSigns = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && (i + 1 == text.size() || text[i + 1] != '/'))
            ++*openings;
        else if (text[i] == '=')
            ++*equalSigns;
        else if (text[i] == '\0')
            return false;
    }
    return true;
}

// The deepest level of the tree below the node (its children are level 1), without recursion.
u32 TreeDepth(const TiXmlNode* root) {
    u32 deepest = 0;
    u32 depth = 0;
    const TiXmlNode* node = root;
    for (;;) {
        if (const TiXmlNode* child = node->FirstChild()) {
            node = child;
            deepest = std::max(deepest, ++depth);
            continue;
        }
        while (node != root && !node->NextSibling()) {
            node = node->Parent();
            --depth;
        }
        if (node == root)
            return deepest;
        node = node->NextSibling();
    }
}

struct SParse {
    TiXmlDocument* Document;
    const char* Text;
    bool TooDeep = false;
    bool Failed = false;
};

// The parse, and the deletion of a tree that is refused, which descends as deep as the parse did:
// both on the stack chosen for the text.
void ParseAndCheck(void* argument) {
    SParse& parse = *static_cast<SParse*>(argument);
    try {
        parse.Document->Parse(parse.Text);
        parse.TooDeep = !parse.Document->Error() && TreeDepth(parse.Document) > kXmlMaxDepth;
    } catch (...) {
        parse.Failed = true;
    }
    if (parse.Failed || parse.TooDeep || parse.Document->Error())
        parse.Document->Clear();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CXmlAttribute

CXmlAttribute::~CXmlAttribute() {
    if (!m_Element)
        return;
    CFastBuffer<CXmlAttribute*>& list = m_Element->m_Attributes;
    for (u32 i = 0; i < list.m_Count; ++i) {
        if (list.m_Items[i] == this) {
            RemoveAt(list, i);
            return;
        }
    }
}

u32 CXmlAttribute::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        static CClassicString s_Text;
        switch (member.MemberId) {
            case s_NameMemberId:
                return AnswerText(out, s_Text, m_Attribute ? m_Attribute->Name() : "");
            case s_ValueMemberId:
                return AnswerText(out, s_Text, m_Attribute ? m_Attribute->Value() : "");
            default:
                return MwNotOwnMember;
        }
    });
}

u32 CXmlAttribute::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_NameMemberId && member.MemberId != s_ValueMemberId)
            return MwNotOwnMember;
        if (!m_Attribute || !value)
            return MwParam_NotFound;
        const std::string text = InputText(value);
        if (member.MemberId == s_ValueMemberId) {
            if (!WritableText("Value", EXmlWrite::Value, text))
                return MwParam_NotFound;
            m_Attribute->SetValue(text);
            return MwParam_Ok;
        }
        if (!WritableText("Name", EXmlWrite::Name, text))
            return MwParam_NotFound;
        // The parser refuses an element with an attribute twice.
        if (m_Element) {
            const CFastBuffer<CXmlAttribute*>& list = m_Element->m_Attributes;
            for (u32 i = 0; i < list.m_Count; ++i) {
                const TiXmlAttribute* other = list.m_Items[i]->m_Attribute;
                if (list.m_Items[i] != this && other && other->NameTStr() == text) {
                    ClassicLogFormatLine(
                        "[Xml] Name not written: the element has another attribute of that name");
                    return MwParam_NotFound;
                }
            }
        }
        m_Attribute->SetName(text);
        return MwParam_Ok;
    });
}

// ---------------------------------------------------------------------------------------------
// CXmlNod: the mirror

CXmlNod::~CXmlNod() {
    if (m_Parent)
        m_Parent->ForgetChild(this);
    DropMirror();
    m_Childs.FreeItems();
    m_Attributes.FreeItems();
    m_UIChilds.FreeItems();
    m_VisibleOwners.FreeItems();
}

void CXmlNod::DropMirror() {
    m_UIChilds.m_Count = 0;
    m_VisibleOwners.m_Count = 0;
    // Nothing a nod does while it goes may reach these half-emptied lists.
    while (m_Attributes.m_Count != 0) {
        CXmlAttribute* attribute = m_Attributes.m_Items[--m_Attributes.m_Count];
        attribute->m_Element = nullptr;
        delete attribute;
    }
    while (m_Childs.m_Count != 0) {
        CXmlNod* child = m_Childs.m_Items[--m_Childs.m_Count];
        child->m_Parent = nullptr;
        delete child;
    }
}

void CXmlNod::ForgetChild(CXmlNod* child) {
    UpdateVisibleEntry(child, nullptr);
    for (u32 i = 0; i < m_Childs.m_Count; ++i) {
        if (m_Childs.m_Items[i] == child) {
            RemoveAt(m_Childs, i);
            return;
        }
    }
}

bool CXmlNod::CanTakeFid(CMwNod*) {
    return false;
}

bool CXmlNod::AssignNod(CMwNod*) {
    return true;
}

CMwNod* CXmlNod::GetVisibleNod() {
    return this;
}

void CXmlNod::AttachNode(TiXmlNode* node) {
    DropMirror();
    m_Node = node;
    if (!node)
        return;
    for (TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
        if (CXmlNod* nod = CreateForNode(child))
            AddChild(nod);
}

CXmlNod* CXmlNod::CreateForNode(TiXmlNode* node) {
    if (!node)
        return nullptr;
    const u32 classId = ClassOfNodeType(node->Type(), IsHeaderClass(GetClassId()));
    CMwNod* made = CMwClassRegistry::CreateNodById(classId);
    if (!made || !made->IsKindOf(CXmlNod::s_ClassId)) {
        delete made;
        ClassicLogFormatLine("[Xml] No nod of class 0x%08X for a node of type %d", classId,
                             int(node->Type()));
        return nullptr;
    }
    auto* nod = static_cast<CXmlNod*>(made);
    nod->AttachNode(node);
    return nod;
}

void CXmlNod::AddChild(CXmlNod* nod) {
    m_Childs.Add(nod);
    nod->m_Parent = this;
    nod->SetEditable(m_Editable);
    UpdateVisibleEntry(nod, nod->GetVisibleNod());
}

void CXmlNod::InsertChild(u32 index, CXmlNod* nod) {
    InsertAt(m_Childs, std::min(index, m_Childs.m_Count), nod);
    nod->m_Parent = this;
    nod->SetEditable(m_Editable);
    m_UIChilds.m_Count = 0;
    m_VisibleOwners.m_Count = 0;
    for (u32 i = 0; i < m_Childs.m_Count; ++i)
        UpdateVisibleEntry(m_Childs.m_Items[i], m_Childs.m_Items[i]->GetVisibleNod());
}

void CXmlNod::SetEditable(u32 editable) {
    m_Editable = editable;
    for (u32 i = 0; i < m_Childs.m_Count; ++i)
        m_Childs.m_Items[i]->SetEditable(editable);
}

CXmlNod* CXmlNod::FindChildElement(const char* name) const {
    for (u32 i = 0; i < m_Childs.m_Count; ++i) {
        const TiXmlNode* node = m_Childs.m_Items[i]->m_Node;
        if (node && node->ToElement() && node->ValueStr() == name)
            return m_Childs.m_Items[i];
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// CXmlNod: the visible children

i32 CXmlNod::FindVisibleEntry(const CXmlNod* child) const {
    for (u32 i = 0; i < m_VisibleOwners.m_Count; ++i)
        if (m_VisibleOwners.m_Items[i] == child)
            return i32(i);
    return -1;
}

void CXmlNod::UpdateVisibleEntry(CXmlNod* child, CMwNod* visible) {
    const i32 entry = FindVisibleEntry(child);
    if (entry >= 0) {
        if (visible) {
            m_UIChilds.m_Items[entry] = visible;
        } else {
            RemoveAt(m_UIChilds, u32(entry));
            RemoveAt(m_VisibleOwners, u32(entry));
        }
        return;
    }
    if (!visible)
        return;
    // The entries follow the children's order: the new one goes after those of the children
    // before it.
    u32 position = 0;
    for (u32 i = 0; i < m_Childs.m_Count && m_Childs.m_Items[i] != child; ++i)
        if (position < m_VisibleOwners.m_Count &&
            m_VisibleOwners.m_Items[position] == m_Childs.m_Items[i])
            ++position;
    InsertAt(m_UIChilds, position, visible);
    InsertAt(m_VisibleOwners, position, child);
}

u32 CXmlNod::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_UIChildsMemberId)
            return MwNotOwnMember;
        return SetVisibleEntry(path, value);
    });
}

u32 CXmlNod::SetVisibleEntry(CMwMemberPath* path, const void* value) {
    u32 index = 0;
    switch (path->GetCurrentKind()) {
        case MwPathItem_Index:
            path->TakeIndex(&index);
            break;
        case MwPathItem_Name:
            if (path->FindNodByName(&index, m_UIChilds.m_Items, m_UIChilds.m_Count) != MwParam_Ok)
                return MwParam_NotFound;
            break;
        default:
            return MwParam_NotFound;
    }
    if (index >= m_UIChilds.m_Count)
        return MwParam_NotFound;
    const bool pathEnds = !path->HasCurrent();
    CMwNod* previous = m_UIChilds.m_Items[index];
    CXmlNod* owner = m_VisibleOwners.m_Items[index];
    const u32 result = SetNodRefMember(&m_UIChilds.m_Items[index], path, value);
    if (result != MwParam_Ok || !pathEnds)
        return result;
    CMwNod* nod = static_cast<CMwNod*>(const_cast<void*>(value));
    if (owner->AssignNod(nod))
        return MwParam_Ok;
    // The child may have moved its entry while it answered.
    const i32 entry = FindVisibleEntry(owner);
    if (entry >= 0)
        m_UIChilds.m_Items[entry] = previous;
    return owner->CanTakeFid(nod) ? MwParam_Ok : MwParam_NotFound;
}

// ---------------------------------------------------------------------------------------------
// Comment, declaration, element, text

u32 CXmlComment::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        static CClassicString s_Text;
        if (member.MemberId != s_CommentMemberId)
            return MwNotOwnMember;
        return AnswerValue(out, s_Text, m_Node);
    });
}

u32 CXmlComment::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_CommentMemberId)
            return MwNotOwnMember;
        return WriteValue(m_Node, value, "Comment", EXmlWrite::Comment);
    });
}

u32 CXmlDeclaration::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        static CClassicString s_Text;
        const TiXmlDeclaration* declaration = m_Node ? m_Node->ToDeclaration() : nullptr;
        switch (member.MemberId) {
            case s_VersionMemberId:
                return AnswerText(out, s_Text, declaration ? declaration->Version() : "");
            case s_EncodingMemberId:
                return AnswerText(out, s_Text, declaration ? declaration->Encoding() : "");
            case s_StandaloneMemberId:
                return AnswerText(out, s_Text, declaration ? declaration->Standalone() : "");
            default:
                return MwNotOwnMember;
        }
    });
}

void CXmlElement::AttachNode(TiXmlNode* node) {
    Super::AttachNode(node);
    TiXmlElement* element = node ? node->ToElement() : nullptr;
    if (!element)
        return;
    for (TiXmlAttribute* attribute = element->FirstAttribute(); attribute;
         attribute = attribute->Next())
        m_Attributes.Add(new CXmlAttribute(attribute, this));
}

bool CXmlElement::IsNamed(const char* name) const {
    return m_Node && m_Node->ToElement() && m_Node->ValueStr() == name;
}

u32 CXmlElement::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        static CClassicString s_Text;
        if (member.MemberId != s_NameMemberId)
            return MwNotOwnMember;
        return AnswerValue(out, s_Text, m_Node);
    });
}

u32 CXmlElement::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_NameMemberId)
            return MwNotOwnMember;
        return WriteValue(m_Node, value, "Name", EXmlWrite::Name);
    });
}

u32 CXmlText::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        static CClassicString s_Text;
        if (member.MemberId != s_TextMemberId)
            return MwNotOwnMember;
        return AnswerValue(out, s_Text, m_Node);
    });
}

u32 CXmlText::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_TextMemberId)
            return MwNotOwnMember;
        const TiXmlText* text = m_Node ? m_Node->ToText() : nullptr;
        return WriteValue(m_Node, value, "Text",
                          text && text->CDATA() ? EXmlWrite::Section : EXmlWrite::Text);
    });
}

// ---------------------------------------------------------------------------------------------
// CXmlDocument

CXmlDocument::CXmlDocument() : m_Document(new TiXmlDocument) {}

CXmlDocument::~CXmlDocument() {
    DropMirror();
    delete m_Document;
}

bool CXmlDocument::HasParseError() {
    const TiXmlDocument* document =
        m_Node && m_Node->ToDocument() ? m_Node->ToDocument() : m_Document;
    return m_ParseFailed || document->Error();
}

bool CXmlDocument::ParseText(CClassicStringRef text) {
    AttachNode(nullptr);
    m_Document->Clear();
    m_Document->ClearError();
    m_IsHeader = 1;
    m_ParseFailed = 1;

    const std::string_view view(text.m_Text, text.m_Length);
    u32 openings = 0;
    u32 equalSigns = 0;
    if (view.size() > kXmlMaxTextSize) {
        ClassicLogFormatLine("[Xml] Text refused: it is larger than %u bytes", kXmlMaxTextSize);
        return false;
    }
    if (!CountOpenings(view, &openings, &equalSigns)) {
        ClassicLogFormatLine("[Xml] Text refused: it holds a NUL byte");
        return false;
    }
    if (openings > kXmlMaxOpenings || equalSigns > kXmlMaxEqualSigns) {
        ClassicLogFormatLine("[Xml] Text refused: it has more than %u openings or %u '=' signs",
                             kXmlMaxOpenings, kXmlMaxEqualSigns);
        return false;
    }

    std::string copy(view);
    copy.append(kParsePadding, '\0');
    SParse parse{m_Document, copy.c_str()};
    if (openings <= kXmlMaxDepth) {
        ParseAndCheck(&parse);
    } else if (!platform::RunWithStack(kParseStackBase + openings * kParseStackPerOpening,
                                       ParseAndCheck, &parse)) {
        ClassicLogFormatLine("[Xml] Text not parsed: no thread for the parser");
        return false;
    }
    if (parse.Failed) {
        ClassicLogFormatLine("[Xml] Text not parsed: the parser ran out of memory");
        return false;
    }
    if (parse.TooDeep) {
        ClassicLogFormatLine("[Xml] Text refused: it nests deeper than %u levels", kXmlMaxDepth);
        return false;
    }
    if (m_Document->Error()) {
        // The parser also calls a text of characters outside any markup empty.
        if (m_Document->ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY ||
            view.find_first_not_of(" \t\r\n\v\f") != std::string_view::npos) {
            ClassicLogFormatLine("[Xml] Text not parsed: %s (line %d, column %d)",
                                 m_Document->ErrorDesc(), m_Document->ErrorRow(),
                                 m_Document->ErrorCol());
            return false;
        }
        // A text of blanks only is an empty document.
        m_Document->ClearError();
    }
    m_ParseFailed = 0;
    AttachNode(m_Document);
    return true;
}

void CXmlDocument::PrintText(CClassicString& out) {
    TiXmlPrinter printer;
    (m_Node ? m_Node : m_Document)->Accept(&printer);
    out.Assign(CClassicStringRef(printer.CStr(), u32(printer.Size())));
}
