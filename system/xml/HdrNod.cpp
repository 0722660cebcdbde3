#include "system/xml/HdrNod.h"

#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"

#include <cstring>
#include <string>
#include <tinyxml.h>

MW_DEFINE_CLASS(CHdrComment, MwFactory<CHdrComment>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CHdrDeclaration, MwFactory<CHdrDeclaration>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CHdrDocument, MwFactory<CHdrDocument>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CHdrElement, MwFactory<CHdrElement>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CHdrText, MwFactory<CHdrText>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CHdrUnknown, MwFactory<CHdrUnknown>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

constinit HdrDataFolderSource s_DataFolderSource = nullptr;

// A component ".." would lead out of the data folder.
bool LeavesFolder(const CClassicWideString& path) {
    const char16_t* text = path.GetText();
    const u32 length = path.GetLength();
    u32 start = 0;
    for (u32 i = 0; i <= length; ++i) {
        if (i < length && text[i] != u'\\')
            continue;
        if (i - start == 2 && text[start] == u'.' && text[start + 1] == u'.')
            return true;
        start = i + 1;
    }
    return false;
}

// The file of the data folder that a header text names, or null.
CSystemFidFile* FindNamedFile(const CClassicString& text) {
    CSystemFids* data = HdrDataFolder();
    if (!data)
        return nullptr;
    CClassicString name(text);
    name.TrimRight(" \t\r\n");
    const u32 skip = name.GetLength() != 0 && name[0] == '#' ? 1 : 0;
    CClassicWideString path;
    path.AssignUtf8(CClassicStringRef(name.GetText() + skip, name.GetLength() - skip));
    for (u32 i = 0; i < path.GetLength(); ++i)
        if (path.GetText()[i] == u'/')
            path.GetText()[i] = u'\\';
    if (path.IsEmpty() || LeavesFolder(path))
        return nullptr;
    CSystemFid* fid = FileExistsInFolder(path, data) ? data->FindOrAddFid(path, nullptr, false)
                                                     : data->FindFid(path, false);
    return fid && fid->IsKindOf(CSystemFidFile::s_ClassId) ? static_cast<CSystemFidFile*>(fid)
                                                           : nullptr;
}

// The nod is the file id of a file below the data folder: its path relative to it.
bool RelativeDataPath(CMwNod* nod, CClassicWideString& out) {
    CSystemFids* data = HdrDataFolder();
    return data && CMwNod::IsValidNod(nod) && nod->IsKindOf(CSystemFidFile::s_ClassId) &&
           static_cast<CSystemFidFile*>(nod)->GetFileNameRelativeTo(out, data);
}

} // namespace

HdrDataFolderSource SetHdrDataFolderSource(HdrDataFolderSource source) {
    const HdrDataFolderSource old = s_DataFolderSource;
    s_DataFolderSource = source;
    return old;
}

CSystemFids* HdrDataFolder() {
    return s_DataFolderSource ? s_DataFolderSource() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// CHdrDocument

CHdrElement* CHdrDocument::FirstElement() const {
    for (u32 i = 0; i < m_Childs.m_Count; ++i)
        if (m_Childs.m_Items[i]->IsKindOf(CHdrElement::s_ClassId))
            return static_cast<CHdrElement*>(m_Childs.m_Items[i]);
    return nullptr;
}

CHdrElement* CHdrDocument::GetHeaderElement() const {
    CHdrElement* element = m_IsHeader ? FirstElement() : nullptr;
    return element && element->IsNamed("Header") ? element : nullptr;
}

void CHdrDocument::AttachNode(TiXmlNode* node) {
    m_Built = 0;
    Super::AttachNode(node);
    if (const CHdrElement* element = m_IsHeader ? FirstElement() : nullptr)
        m_IsHeader = element->IsNamed("Header");
    if (node && node->ToDocument() && node->NoChildren())
        BuildSkeleton();
}

void CHdrDocument::BuildSkeleton() {
    TiXmlNode* document = m_Node;
    if (CXmlNod* nod = CreateForNode(document->InsertEndChild(TiXmlDeclaration("1.0", "", "no"))))
        AddChild(nod);
    TiXmlNode* header = document->InsertEndChild(TiXmlElement("Header"));
    m_Built = 1;
    CXmlNod* nod = CreateForNode(header);
    if (!nod)
        return;
    AddChild(nod);
    if (!nod->IsKindOf(CHdrElement::s_ClassId))
        return;
    auto* element = static_cast<CHdrElement*>(nod);
    if (CXmlNod* comment =
            element->CreateForNode(header->InsertEndChild(TiXmlComment(" header file "))))
        element->AddChild(comment);
    element->AddStandardChild("Camera");
    element->AddStandardChild("Models");
    if (m_WithAudio)
        element->AddStandardChild("Audio");
}

CMwNod* CHdrDocument::GetVisibleNod() {
    CHdrElement* element = GetHeaderElement();
    return element ? static_cast<CMwNod*>(element) : this;
}

bool CHdrDocument::HasParseError() {
    return !m_Built && Super::HasParseError();
}

// ---------------------------------------------------------------------------------------------
// CHdrElement

CHdrText* CHdrElement::FirstText() const {
    for (u32 i = 0; i < m_Childs.m_Count; ++i)
        if (m_Childs.m_Items[i]->IsKindOf(CHdrText::s_ClassId))
            return static_cast<CHdrText*>(m_Childs.m_Items[i]);
    return nullptr;
}

CSystemFidFile* CHdrElement::GetFid() const {
    const CHdrText* text = IsModelOrImport() ? FirstText() : nullptr;
    return text ? text->GetFid() : nullptr;
}

bool CHdrElement::CanTakeFid(CMwNod* nod) {
    CHdrText* text = IsModelOrImport() ? FirstText() : nullptr;
    return text && text->CanTakeFid(nod);
}

bool CHdrElement::SetFid(CMwNod* nod) {
    if (!IsModelOrImport())
        return true;
    if (CHdrText* text = FirstText())
        text->SetFid(nod);
    return false;
}

CXmlNod* CHdrElement::AddStandardChild(const char* name) {
    if (!m_Node)
        return nullptr;
    CXmlNod* before = nullptr;
    if (std::strcmp(name, "Camera") == 0) {
        before = FindChildElement("Models");
        if (!before)
            before = FindChildElement("Audio");
    } else if (std::strcmp(name, "Models") == 0) {
        before = FindChildElement("Audio");
    }
    const TiXmlElement element(name);
    TiXmlNode* made = before ? m_Node->InsertBeforeChild(before->m_Node, element)
                             : m_Node->InsertEndChild(element);
    CXmlNod* nod = CreateForNode(made);
    if (!nod) {
        if (made)
            m_Node->RemoveChild(made);
        return nullptr;
    }
    if (!before) {
        AddChild(nod);
        return nod;
    }
    u32 index = 0;
    while (m_Childs.m_Items[index] != before)
        ++index;
    InsertChild(index, nod);
    return nod;
}

// ---------------------------------------------------------------------------------------------
// CHdrText

CHdrText::~CHdrText() {
    if (m_Fid)
        m_Fid->RemoveDependant(this);
}

void CHdrText::OnDependencyDestroyed(CMwNod* nod) {
    if (nod != m_Fid)
        return;
    m_Fid = nullptr;
    if (m_Parent)
        m_Parent->UpdateVisibleEntry(this, nullptr);
}

void CHdrText::OnDependencyReleased(CMwNod* nod) {
    if (nod == m_Fid) {
        m_Fid = nullptr;
        if (m_Parent)
            m_Parent->UpdateVisibleEntry(this, nullptr);
    }
    Super::OnDependencyReleased(nod);
}

bool CHdrText::CanTakeFid(CMwNod* nod) {
    CClassicWideString relative;
    return RelativeDataPath(nod, relative);
}

bool CHdrText::SetFid(CMwNod* nod) {
    CClassicWideString relative;
    if (!RelativeDataPath(nod, relative))
        return false;
    relative.ToUtf8(m_Text, false);
    if (m_Node)
        m_Node->SetValue(std::string(m_Text.GetText(), m_Text.GetLength()));
    KeepFid(static_cast<CSystemFidFile*>(nod));
    return true;
}

CMwNod* CHdrText::GetVisibleNod() {
    return LoadFid();
}

CSystemFidFile* CHdrText::LoadFid() {
    const std::string& text = m_Node ? m_Node->ValueStr() : std::string();
    m_Text.Assign(CClassicStringRef(text.data(), u32(text.size())));
    KeepFid(FindNamedFile(m_Text));
    return m_Fid;
}

void CHdrText::KeepFid(CSystemFidFile* fid) {
    if (fid == m_Fid)
        return;
    if (m_Fid)
        m_Fid->RemoveDependant(this);
    m_Fid = fid;
    if (fid)
        fid->AddDependant(this);
    if (m_Parent)
        m_Parent->UpdateVisibleEntry(this, fid);
}
