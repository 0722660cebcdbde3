#pragma once
// Stand-ins for what file ids ask of the folder tree, the archive reader and the engine: named
// test folders, a file id kind with a name, and links that record what they were asked and make
// file ids in the test folders.
#include "../SystemTestSupport.h"
#include "core/nod/MwNod.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidLinks.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// A folder of the tree as far as file ids see it: a name, a parent and leaves. Its kind test
// answers the folders' class.
class CTestFolder : public CMwNod {
public:
    explicit CTestFolder(std::u16string name, CTestFolder* parent = nullptr)
        : m_Name(std::move(name)), m_Parent(parent) {}
    bool IsKindOf(u32 classId) override {
        return classId == kSystemFidsClassId || CMwNod::IsKindOf(classId);
    }
    CSystemFids* AsFids() { return reinterpret_cast<CSystemFids*>(this); }
    static CTestFolder* Of(CSystemFids* folder) { return reinterpret_cast<CTestFolder*>(folder); }

    std::u16string m_Name;
    CTestFolder* m_Parent;
    std::vector<CSystemFid*> m_Leaves;
};

// A file id with a name inside its folder.
class CTestFileFid : public CSystemFid {
public:
    explicit CTestFileFid(std::u16string name = u"", CTestFolder* folder = nullptr)
        : m_Name(name.c_str()) {
        m_RefFlags = kSystemFidRefFile;
        m_Folder = folder ? folder->AsFids() : nullptr;
    }
    const CClassicWideString* GetFileName() override { return &m_Name; }
    // The path below the ancestor: the folders' names each with a backslash, then the name.
    bool GetFileNameRelativeTo(CClassicWideString& out, CSystemFids* ancestor) override {
        std::u16string path;
        CTestFolder* folder = CTestFolder::Of(m_Folder);
        for (; folder && folder->AsFids() != ancestor; folder = folder->m_Parent)
            path = folder->m_Name + u"\\" + path;
        if (!folder)
            return false;
        out.Append((path + std::u16string(m_Name.GetText())).c_str());
        return true;
    }

    CClassicWideString m_Name;
};

// Records the calls; makes file ids (owned here) in the test folders; reads headers by giving
// the file id the class set in m_HeaderClass.
class CFakeFidLinks : public CSystemFidLinks {
public:
    CFakeFidLinks() : m_Loader(new CMwNod) {
        m_Loader->AddRef();
        SetSystemFidLinks(this);
    }
    ~CFakeFidLinks() {
        m_Made.clear();
        SetSystemFidLinks(nullptr);
        m_Loader->Release();
    }

    void RemoveLeaf(CSystemFids* folder, CSystemFid* fid) override {
        m_Calls.push_back("RemoveLeaf");
        auto& leaves = CTestFolder::Of(folder)->m_Leaves;
        auto at = std::find(leaves.begin(), leaves.end(), fid);
        if (at == leaves.end())
            return;
        leaves.erase(at);
        fid->m_Folder = nullptr;
    }
    void AddLeafIfAbsent(CSystemFids* folder, CSystemFid* fid) override {
        m_Calls.push_back("AddLeafIfAbsent");
        auto& leaves = CTestFolder::Of(folder)->m_Leaves;
        if (std::find(leaves.begin(), leaves.end(), fid) == leaves.end())
            leaves.push_back(fid);
    }
    void PinFolder(CSystemFids*) override { m_Calls.push_back("PinFolder"); }
    void OnFolderChanged(CSystemFids*) override { m_Calls.push_back("OnFolderChanged"); }
    void PlaceFid(CSystemFid*, bool fromRoot, u32 addLeaf) override {
        m_Calls.push_back(std::string("PlaceFid ") + (fromRoot ? "root " : "folder ") +
                          std::to_string(addLeaf));
    }
    void ForgetFidNumber(const CSystemFid* fid) override { m_Forgotten.push_back(fid); }
    bool ReadFileHeader(CSystemFid* fid, CClassicBuffer*) override {
        ++m_HeaderReads;
        fid->m_ContentClassId = m_HeaderClass;
        return m_HeaderClass != CSystemFid::s_UnknownClassId;
    }
    CSystemFid* GetFileFid(CSystemFids* folder, CClassicWideStringRef path) override {
        m_Calls.push_back("GetFileFid");
        m_Made.push_back(std::make_unique<CTestFileFid>(std::u16string(path.m_Text, path.m_Length),
                                                        CTestFolder::Of(folder)));
        CSystemFid* fid = m_Made.back().get();
        if (folder)
            CTestFolder::Of(folder)->m_Leaves.push_back(fid);
        return fid;
    }
    CMwNod* GetDummyFidLoader() override { return m_Loader; }

    // The calls of one kind.
    size_t Count(const std::string& call) const {
        return size_t(std::count(m_Calls.begin(), m_Calls.end(), call));
    }

    std::vector<std::string> m_Calls;
    std::vector<const CSystemFid*> m_Forgotten;
    u32 m_HeaderReads = 0;
    u32 m_HeaderClass = CSystemFid::s_UnknownClassId;
    CMwNod* m_Loader;
    std::vector<std::unique_ptr<CTestFileFid>> m_Made;
};

// A nod that says when it is destroyed.
class CWatchedNod : public CMwNod {
public:
    explicit CWatchedNod(bool* destroyed) : m_Destroyed(destroyed) {}
    ~CWatchedNod() override { *m_Destroyed = true; }

private:
    bool* m_Destroyed;
};
