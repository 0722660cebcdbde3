#pragma once
// Helpers of the XML nod tests: the registry with the system classes, a check that every nod a
// test made is gone at its end, and members read and written by their path texts.
#include "../SystemTestSupport.h"
#include "core/nod/MwMemberPath.h"
#include "system/xml/HdrNod.h"
#include "system/xml/XmlNod.h"

#include <string>
#include <tinyxml.h>
#include <vector>

class CXmlFixture : public CSystemFixture {
protected:
    void SetUp() override {
        CSystemFixture::SetUp();
        m_LiveNods = CMwNod::GetLiveNodCount();
    }
    void TearDown() override {
        EXPECT_EQ(CMwNod::GetLiveNodCount(), m_LiveNods) << "nods left alive by the test";
        CSystemFixture::TearDown();
    }

private:
    u32 m_LiveNods = 0;
};

inline std::string ToStd(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

// The path of the text from the nod; null when it does not parse.
inline bool ParsePath(CMwMemberPath& path, CMwNod& nod, const char* text) {
    return path.ParseFromText(CMwNod::s_NoClassId, &nod, CClassicString(text)) == MwParam_Ok;
}

// A string member's text, "<result n>" when it cannot be read.
inline std::string ReadText(CMwNod& nod, const char* pathText) {
    CMwMemberPath path;
    if (!ParsePath(path, nod, pathText))
        return "<no path>";
    CMwParamValue out;
    const u32 result = nod.GetParam(&path, &out);
    if (result != MwParam_Ok)
        return "<result " + std::to_string(result) + ">";
    return ToStd(*static_cast<const CClassicString*>(out.Value));
}

inline u32 WriteText(CMwNod& nod, const char* pathText, const char* text) {
    CMwMemberPath path;
    if (!ParsePath(path, nod, pathText))
        return 100;
    const CClassicString value(text);
    return nod.SetParam(&path, &value);
}

// Sets a nod member (or list entry) to the nod.
inline u32 WriteNod(CMwNod& nod, const char* pathText, CMwNod* value) {
    CMwMemberPath path;
    if (!ParsePath(path, nod, pathText))
        return 100;
    return nod.SetParam(&path, value);
}

inline std::string ClassName(const CMwNod* nod) {
    if (!nod)
        return "null";
    return const_cast<CMwNod*>(nod)->GetClassInfo()->m_Name;
}

// The class names of the children / of the visible children.
inline std::vector<std::string> ChildClasses(const CXmlNod& nod) {
    std::vector<std::string> names;
    for (u32 i = 0; i < nod.GetChildCount(); ++i)
        names.push_back(ClassName(nod.GetChild(i)));
    return names;
}
inline std::vector<std::string> VisibleClasses(const CXmlNod& nod) {
    std::vector<std::string> names;
    for (u32 i = 0; i < nod.m_UIChilds.m_Count; ++i)
        names.push_back(ClassName(nod.m_UIChilds.m_Items[i]));
    return names;
}

// The element names (or "#comment" and the like) of the children.
inline std::vector<std::string> ChildValues(const CXmlNod& nod) {
    std::vector<std::string> values;
    for (u32 i = 0; i < nod.GetChildCount(); ++i) {
        const TiXmlNode* node = nod.GetChild(i)->GetNode();
        values.push_back(node ? node->ValueStr() : "<no node>");
    }
    return values;
}

inline std::string Printed(CXmlDocument& document) {
    CClassicString text;
    document.PrintText(text);
    return ToStd(text);
}

inline bool Parse(CXmlDocument& document, const std::string& text) {
    return document.ParseText(CClassicStringRef(text.data(), u32(text.size())));
}
