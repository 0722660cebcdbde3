#pragma once
// Helpers of the file-id tests: folders and files made with their names on the stack, stand-ins
// for what file ids ask of the archive operations and of the Plug library's file classes.
#include "../SystemTestSupport.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwNod.h"
#include "system/fid/PlugFileServices.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"
#include "system/file/PathHelpers.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A named folder, hung below the parent when one is given.
class CNamedFolder : public CSystemFidsFolder {
public:
    explicit CNamedFolder(const char16_t* name, CSystemFids* parent = nullptr) {
        m_DirName = CClassicWideString(name);
        if (parent)
            parent->AddTree(this);
    }
};

// A file named in its folder: one of the folder's leaves, or only pointing at it.
class CNamedFile : public CSystemFidFile {
public:
    explicit CNamedFile(const char16_t* name = u"", CSystemFids* folder = nullptr,
                        bool leaf = true) {
        m_FileName = CClassicWideString(name);
        if (folder && leaf)
            folder->AddLeaf(this);
        else
            m_Folder = folder;
    }
};

// Reads headers by giving a file the class m_HeaderClasses names for its name, else
// m_HeaderClass; its shared loader is a plain nod.
class CFakeFidLinks : public CSystemFidLinks {
public:
    CFakeFidLinks() : m_Loader(new CMwNod) {
        m_Loader->AddRef();
        SetSystemFidLinks(this);
    }
    ~CFakeFidLinks() {
        SetSystemFidLinks(nullptr);
        m_Loader->Release();
    }

    bool ReadFileHeader(CSystemFid* fid, CClassicBuffer*) override {
        ++m_HeaderReads;
        u32 classId = m_HeaderClass;
        if (fid->IsKindOf(CSystemFidFile::s_ClassId)) {
            const CClassicWideString& name = static_cast<CSystemFidFile*>(fid)->m_FileName;
            const auto named = m_HeaderClasses.find(std::u16string(name.GetText()));
            if (named != m_HeaderClasses.end())
                classId = named->second;
        }
        fid->m_ContentClassId = classId;
        return classId != CSystemFid::s_UnknownClassId;
    }
    CMwNod* GetDummyFidLoader() override { return m_Loader; }

    u32 m_HeaderReads = 0;
    u32 m_HeaderClass = CSystemFid::s_UnknownClassId;
    std::map<std::u16string, u32> m_HeaderClasses;
    CMwNod* m_Loader;
};

// Extensions naming classes, as the Plug library's file classes answer them: the first suffix
// the name ends with (ignoring case, the name longer than it) names its class.
class CFakePlugFiles : public CPlugFileServices {
public:
    explicit CFakePlugFiles(std::vector<std::pair<std::string, u32>> suffixes)
        : m_Suffixes(std::move(suffixes)) {
        SetPlugFileServices(this);
    }
    ~CFakePlugFiles() { SetPlugFileServices(nullptr); }
    CFakePlugFiles(const CFakePlugFiles&) = delete;
    CFakePlugFiles& operator=(const CFakePlugFiles&) = delete;

    u32 ClassIdFromFileName(CClassicWideStringRef name) override {
        ++m_Asked;
        for (const auto& [suffix, classId] : m_Suffixes)
            if (PathEndsWith(name, suffix.c_str()))
                return classId;
        return 0xFFFFFFFF;
    }

    u32 m_Asked = 0;

private:
    std::vector<std::pair<std::string, u32>> m_Suffixes;
};

// A nod that says when it is destroyed.
class CWatchedNod : public CMwNod {
public:
    explicit CWatchedNod(bool* destroyed) : m_Destroyed(destroyed) {}
    ~CWatchedNod() override { *m_Destroyed = true; }

private:
    bool* m_Destroyed;
};

// The engine path of a folder or file as text.
inline std::string FullName(CSystemFids& folder) {
    CClassicWideString name;
    folder.GetFullDirName(name);
    return Narrow(name);
}
inline std::string FullName(CSystemFid* fid) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return "<no file>";
    CClassicWideString name;
    static_cast<CSystemFidFile*>(fid)->GetFullFileName(name);
    return Narrow(name);
}

// Reads a member of the nod by its path text.
inline u32 ReadMember(CMwNod& nod, const char* text, CMwParamValue* out) {
    CMwMemberPath path;
    if (u32 parsed = path.ParseFromText(CMwNod::s_NoClassId, &nod, text))
        return 100 + parsed;
    return nod.GetParam(&path, out);
}

// A Bool or Natural member's value.
inline u32 ReadWord(CMwNod& nod, const char* text, u32* value) {
    CMwParamValue out;
    const u32 result = ReadMember(nod, text, &out);
    if (result == MwParam_Ok)
        std::memcpy(value, out.Value, sizeof *value);
    return result;
}
inline u32 ReadBool(CMwNod& nod, const char* text, u32* value) {
    return ReadWord(nod, text, value);
}

// A wide string member's text ("<result n>" when it cannot be read).
inline std::string ReadWide(CMwNod& nod, const char* text) {
    CMwParamValue out;
    const u32 result = ReadMember(nod, text, &out);
    if (result != MwParam_Ok)
        return "<result " + std::to_string(result) + ">";
    return Narrow(*static_cast<const CClassicWideString*>(out.Value));
}

// A nod member's value: the nod itself.
inline u32 ReadNod(CMwNod& nod, const char* text, CMwNod** value) {
    CMwParamValue out;
    const u32 result = ReadMember(nod, text, &out);
    *value = static_cast<CMwNod*>(out.Value);
    return result;
}

template <class T>
u32 WriteMember(CMwNod& nod, const char* text, T value) {
    CMwMemberPath path;
    if (u32 parsed = path.ParseFromText(CMwNod::s_NoClassId, &nod, text))
        return 100 + parsed;
    return nod.SetParam(&path, &value);
}

// A drive whose whole tree is deleted with it.
class CTestDrive : public CSystemFidsDrive {
public:
    explicit CTestDrive(const char16_t* root = u"Z:") { m_Root = CClassicWideString(root); }
    ~CTestDrive() override { Clear(); }
};

// The drive Z: with the folders down to a temporary folder on disk (m_Folder).
class CDiskTree {
public:
    explicit CDiskTree(const CTempFolder& temp) {
        const CClassicWideString path = temp.Engine(); // "Z:\...\"
        m_Folder = m_Drive.FindOrAddFolderPath(
            CClassicWideStringRef(path.GetText() + 3, path.GetLength() - 3), nullptr);
    }
    // The host path of every file id below the folder, sorted.
    std::vector<std::string> HostFiles() {
        CFastBuffer<CSystemFid*> fids;
        m_Folder->CollectFids(fids, true);
        std::vector<std::string> files;
        for (u32 i = 0; i < fids.m_Count; ++i) {
            CClassicWideString name;
            static_cast<CSystemFidFile*>(fids.m_Items[i])->GetFullFileName(name);
            std::string host;
            EXPECT_TRUE(
                platform::ToHostPath(std::u16string_view(name.GetText(), name.GetLength()), host));
            files.push_back(host);
        }
        fids.FreeItems();
        std::sort(files.begin(), files.end());
        return files;
    }

    CTestDrive m_Drive;
    CSystemFids* m_Folder = nullptr;
};

// Names of a folder's leaves and sub-folders, in list order.
inline std::vector<std::string> LeafNames(CSystemFids& folder) {
    std::vector<std::string> names;
    for (u32 i = 0; i < folder.m_Leaves.m_Count; ++i) {
        CSystemFid* fid = folder.m_Leaves.m_Items[i];
        names.push_back(fid->IsKindOf(CSystemFidFile::s_ClassId)
                            ? Narrow(static_cast<CSystemFidFile*>(fid)->m_FileName)
                            : "<not a file>");
    }
    return names;
}
inline std::vector<std::string> FolderNames(CSystemFids& folder) {
    std::vector<std::string> names;
    for (u32 i = 0; i < folder.m_Trees.m_Count; ++i) {
        const CClassicWideString* name = folder.m_Trees.m_Items[i]->GetDirNameRef();
        names.push_back(name ? Narrow(*name) : "<no name>");
    }
    return names;
}
