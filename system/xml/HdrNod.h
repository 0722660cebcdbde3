#pragma once
// The header family of the XML nods: documents whose root element is "Header" and whose texts
// name files of the data folder. A header text is listed among its parent's visible children as
// the file id its text names; a "Model" or "import" element takes that file id from its first
// text; the comment of a header is hidden. An empty header document gets a skeleton: a
// declaration and a "Header" element holding a comment, "Camera", "Models" and, on demand,
// "Audio".
#include "system/xml/XmlNod.h"

class CSystemFid;
class CSystemFidFile;
class CSystemFids;

// Where header texts find their files: the data folder. The System engine installs the source
// that answers its data folder; without a source, or when it answers null, header texts name no
// file. Returns the source replaced.
using HdrDataFolderSource = CSystemFids* (*)();
HdrDataFolderSource SetHdrDataFolderSource(HdrDataFolderSource source);
// The data folder the source answers, or null.
CSystemFids* HdrDataFolder();

// Hidden: a header lists no comment among its visible children.
class CHdrComment : public CXmlComment {
    MW_DECLARE_CLASS(CHdrComment, CXmlComment, 0x14009000)
public:
    CMwNod* GetVisibleNod() override { return nullptr; }
};

class CHdrDeclaration : public CXmlDeclaration {
    MW_DECLARE_CLASS(CHdrDeclaration, CXmlDeclaration, 0x1400a000)
};

class CHdrElement;

class CHdrDocument : public CXmlDocument {
    MW_DECLARE_CLASS(CHdrDocument, CXmlDocument, 0x1400b000)
public:
    // Mirrors the tree as a document does; then, while the header flag is set, the first header
    // element decides it: the flag stays set only when that element is "Header". A document
    // without any child gets the skeleton (Built becomes 1).
    void AttachNode(TiXmlNode* node) override;
    // The "Header" element of a header document, else the document itself.
    CMwNod* GetVisibleNod() override;
    // False when this nod built the skeleton itself, else the document's error flag.
    bool HasParseError() override;

    // The "Header" element of a header document (its first element), or null.
    CHdrElement* GetHeaderElement() const;
    bool IsHeader() const { return m_IsHeader != 0; }

    // 1 when the skeleton was built by this nod.
    u32 m_Built = 0;
    // 1 to give the skeleton an "Audio" element.
    u32 m_WithAudio = 0;

private:
    CHdrElement* FirstElement() const;
    void BuildSkeleton();
};

class CHdrElement : public CXmlElement {
    MW_DECLARE_CLASS(CHdrElement, CXmlElement, 0x1400c000)
public:
    // A "Model" or "import" element whose first text can take the file.
    bool CanTakeFid(CMwNod* nod) override;
    // SetFid.
    bool AssignNod(CMwNod* nod) override { return SetFid(nod); }

    // An element that is not "Model" or "import": true (the entry takes the nod). Otherwise the
    // first header text takes the file (SetFid), which the element then names too, and the
    // result is false: the element stays its own entry.
    bool SetFid(CMwNod* nod);
    // The file id of its first header text, for a "Model" or "import" element; null otherwise.
    CSystemFidFile* GetFid() const;
    bool IsModelOrImport() const { return IsNamed("Model") || IsNamed("import"); }

    // Adds a child element of that name, as the header element adds its standard children:
    // "Camera" goes before the first "Models" element, else before the first "Audio" element;
    // "Models" before the first "Audio" element; any other name, or no such element, at the end.
    // The element is made in the TinyXML tree and mirrored by a nod; null when it cannot be.
    CXmlNod* AddStandardChild(const char* name);

private:
    class CHdrText* FirstText() const;
};

// A text naming a file of the data folder: its visible nod is that file's id.
class CHdrText : public CXmlText {
    MW_DECLARE_CLASS(CHdrText, CXmlText, 0x1400d000)
public:
    CHdrText() = default;
    // Stops depending on the file id it keeps.
    ~CHdrText() override;

    // The file id it keeps goes away (destroyed, or released to 0): it is forgotten and the
    // parent no longer lists it.
    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;

    // A file id of a file of the data folder.
    bool CanTakeFid(CMwNod* nod) override;
    bool AssignNod(CMwNod* nod) override { return SetFid(nod); }
    // LoadFid.
    CMwNod* GetVisibleNod() override;

    // Keeps the file id (a file of the data folder), names it in the text by its path relative
    // to the data folder and writes that text into the TinyXML text; false, nothing changed,
    // for any other nod.
    bool SetFid(CMwNod* nod);
    // Keeps the TinyXML text and looks up the file it names under the data folder: without
    // trailing blanks, tabs, CR and LF and a leading '#', '/' read as '\'. A file on disk is
    // found or added in the folder tree; otherwise a file id the tree already has is taken. No
    // file for an empty text, a text with a ".." component or without data folder. The file id
    // is kept and returned.
    using CMwNod::LoadFid;
    CSystemFidFile* LoadFid();
    CSystemFidFile* GetFid() const { return m_Fid; }

    // The text as LoadFid or SetFid last saw it.
    CClassicString m_Text;

private:
    CSystemFidFile* m_Fid = nullptr;

    // Depends on the file id from now on (and no longer on the one before); the parent's entry
    // follows.
    void KeepFid(CSystemFidFile* fid);
};

class CHdrUnknown : public CXmlUnknown {
    MW_DECLARE_CLASS(CHdrUnknown, CXmlUnknown, 0x1400e000)
};
