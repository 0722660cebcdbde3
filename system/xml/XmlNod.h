#pragma once
// The XML engine's nods: a tree of nods mirroring a TinyXML document, so that member paths can
// read and edit XML. Every node of the document gets one nod of the class of its node type
// (document, element, comment, unknown, text, declaration), and each element's attributes get
// attribute nods. The nods hold pointers to their TinyXML nodes and read and write names, values
// and texts in place; parsing and printing are TinyXML's.
//
// Ownership: a nod owns its children and attribute nods (deleted with it, last first); the
// TinyXML nodes belong to the TinyXML document, which the document nod owns. A nod's destructor
// never touches its TinyXML node, so the document nod deletes its nods before its document.
// The header family (HdrNod.h) specialises these classes.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"

class TiXmlAttribute;
class TiXmlDocument;
class TiXmlNode;

// Limits of the XML texts a document parses. The parser descends once per nesting level, walks
// back up to the document for every element (time growing with the square of the depth) and
// looks for each attribute among those of its element before it (the square of their count); a
// text larger than this, or with more openings ('<' not followed by '/', at least one per level)
// or '=' signs (at least one per attribute), is refused before it is parsed. A tree nested deeper
// than kXmlMaxDepth is refused once parsed.
inline constexpr u32 kXmlMaxTextSize = 16 << 20;
inline constexpr u32 kXmlMaxOpenings = 0x4000;
inline constexpr u32 kXmlMaxEqualSigns = 0x4000;
inline constexpr u32 kXmlMaxDepth = 256;

class CXmlNod;

// One attribute of an element: its name and value, read and written in place.
class CXmlAttribute : public CMwNod {
    MW_DECLARE_CLASS(CXmlAttribute, CMwNod, 0x14002000)
public:
    static constexpr u32 s_NameMemberId = 0x14002000;
    static constexpr u32 s_ValueMemberId = 0x14002001;

    CXmlAttribute() = default;
    CXmlAttribute(TiXmlAttribute* attribute, CXmlNod* element)
        : m_Attribute(attribute), m_Element(element) {}
    CXmlAttribute(const CXmlAttribute&) = delete;
    CXmlAttribute& operator=(const CXmlAttribute&) = delete;
    // Leaves the attributes of its element (when it goes before its element, its last reference
    // given back).
    ~CXmlAttribute() override;

    // Name and Value: read into a scratch string shared by the attributes (replaced by the next
    // read), written into the attribute; 2 without an attribute to write, or for a text that
    // would not read back (see the string members below).
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    TiXmlAttribute* m_Attribute = nullptr;
    // The element nod that lists it.
    CXmlNod* m_Element = nullptr;
};

class CXmlNod : public CMwNod {
    MW_DECLARE_CLASS(CXmlNod, CMwNod, 0x14001000)
public:
    static constexpr u32 s_AttributesMemberId = 0x14001000;
    static constexpr u32 s_UIChildsMemberId = 0x14001001;

    CXmlNod() = default;
    CXmlNod(const CXmlNod&) = delete;
    CXmlNod& operator=(const CXmlNod&) = delete;
    // Leaves its parent's lists (when it goes before its parent, its last reference given
    // back), then deletes the attribute nods and the children, last first.
    ~CXmlNod() override;

    // UIChilds, by index or by name: the entry takes the nod given (SetNodRefMember). When the
    // path ends at the entry, the child the entry stands for is asked to AssignNod the nod; when
    // it refuses, the entry gets its previous value back and the set answers 0 when the child
    // took the nod otherwise (CanTakeFid), 2 when nothing took it.
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // Whether the nod (a file id) can be taken by this node; false here.
    virtual bool CanTakeFid(CMwNod* nod);
    // Asked when a visible entry standing for this nod is set to the nod: true accepts it as the
    // entry (here always), false puts the previous entry back.
    virtual bool AssignNod(CMwNod* nod);
    // The nod listed for this one among its parent's visible children; null hides it. This nod
    // here.
    virtual CMwNod* GetVisibleNod();
    // Binds the TinyXML node and mirrors it: the nods of a previous node go, then each child node
    // in document order gets a nod (CreateForNode) added as a child. Null leaves the nod unbound.
    virtual void AttachNode(TiXmlNode* node);

    // A new nod, of this nod's family (plain or header), for the node's type, created by class id
    // and attached to the node; null, with a log line, when the class cannot be made.
    CXmlNod* CreateForNode(TiXmlNode* node);
    // Appends the nod to the children: its parent becomes this nod, it takes this nod's editable
    // flag, and its visible nod, when it has one, is appended to the visible children.
    void AddChild(CXmlNod* nod);
    // Inserts the nod among the children at the index (at the end past the count), then lists
    // the visible children again from all the children.
    void InsertChild(u32 index, CXmlNod* nod);
    // Sets the editable flag on this nod and every XML nod below it.
    void SetEditable(u32 editable);
    // Lists the child's visible nod in its place among the visible children, replaces the entry
    // that stands for it, or removes that entry when the visible nod is null.
    void UpdateVisibleEntry(CXmlNod* child, CMwNod* visible);

    TiXmlNode* GetNode() const { return m_Node; }
    CXmlNod* GetParent() const { return m_Parent; }
    u32 GetChildCount() const { return m_Childs.m_Count; }
    CXmlNod* GetChild(u32 index) const { return m_Childs.m_Items[index]; }
    // The first child bound to an element of that name, or null.
    CXmlNod* FindChildElement(const char* name) const;
    // The child a visible entry stands for.
    CXmlNod* GetVisibleOwner(u32 index) const { return m_VisibleOwners.m_Items[index]; }

    CFastBuffer<CXmlNod*> m_Childs;
    TiXmlNode* m_Node = nullptr;
    CFastBuffer<CXmlAttribute*> m_Attributes;
    // The visible children: for each child, in order, the nod its GetVisibleNod gives when not
    // null. The nods are not counted.
    CFastBuffer<CMwNod*> m_UIChilds;
    CXmlNod* m_Parent = nullptr;
    u32 m_Editable = 1;

protected:
    // Deletes the attribute nods and the children and empties the visible children.
    void DropMirror();

private:
    // For each visible entry, the child it stands for.
    CFastBuffer<CXmlNod*> m_VisibleOwners;

    // Takes a child that goes out of the children and the visible children.
    void ForgetChild(CXmlNod* child);

    u32 SetVisibleEntry(CMwMemberPath* path, const void* value);
    i32 FindVisibleEntry(const CXmlNod* child) const;
};

// The members of the string kind read a TinyXML text into a scratch string shared by the nods of
// the class (replaced by the next read) and write a text in place; a nod without node reads an
// empty text and refuses writes with 2. A text that would change the document's markup, or make
// it unreadable, once printed and parsed again is refused with 2 and a log line, the document
// unchanged: a name that is not an XML name, a
// comment holding "--" or ending with '-', a CDATA section's text holding "]]>", any text holding
// a NUL or that is not UTF-8, and an attribute name another attribute of the element has.

class CXmlComment : public CXmlNod {
    MW_DECLARE_CLASS(CXmlComment, CXmlNod, 0x14003000)
public:
    static constexpr u32 s_CommentMemberId = 0x14003000;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Version, Encoding and Standalone, read only.
class CXmlDeclaration : public CXmlNod {
    MW_DECLARE_CLASS(CXmlDeclaration, CXmlNod, 0x14004000)
public:
    static constexpr u32 s_VersionMemberId = 0x14004000;
    static constexpr u32 s_EncodingMemberId = 0x14004001;
    static constexpr u32 s_StandaloneMemberId = 0x14004002;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
};

// The root: owns its TinyXML document, which it parses from text and prints.
class CXmlDocument : public CXmlNod {
    MW_DECLARE_CLASS(CXmlDocument, CXmlNod, 0x14005000)
public:
    // An empty document of its own, not yet attached.
    CXmlDocument();
    // The nods go first, then the document.
    ~CXmlDocument() override;

    // The document's error flag; also set while the last text was refused by the limits above.
    virtual bool HasParseError();

    // Parses the text into the document, its previous content and nods gone first, and attaches
    // the document. An empty text, or one of blanks only, gives an empty document. A text
    // TinyXML cannot parse, one holding a NUL byte or one past the limits above gives false, a
    // log line and an empty document left unattached (HasParseError answers true).
    bool ParseText(CClassicStringRef text);
    // The document as TinyXML prints it.
    void PrintText(CClassicString& out);
    TiXmlDocument* GetDocument() const { return m_Document; }

    // 1 at construction and before each parse; a header document clears it when its first
    // element is not "Header".
    u32 m_IsHeader = 1;

private:
    TiXmlDocument* m_Document;
    // 1 while the last text given to ParseText was not parsed.
    u32 m_ParseFailed = 0;
};

// Name: the element's name. Attaching also gives each attribute, in order, an attribute nod.
class CXmlElement : public CXmlNod {
    MW_DECLARE_CLASS(CXmlElement, CXmlNod, 0x14006000)
public:
    static constexpr u32 s_NameMemberId = 0x14006000;

    void AttachNode(TiXmlNode* node) override;
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // The element's name is exactly the text.
    bool IsNamed(const char* name) const;
};

class CXmlText : public CXmlNod {
    MW_DECLARE_CLASS(CXmlText, CXmlNod, 0x14007000)
public:
    static constexpr u32 s_TextMemberId = 0x14007000;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

class CXmlUnknown : public CXmlNod {
    MW_DECLARE_CLASS(CXmlUnknown, CXmlNod, 0x14008000)
};
