#pragma once
// Reference resolution at load: while an archive reads its reference table, each record (another
// file, named by folder and name or by resource index) becomes the file id it stands for and, for
// a nod reference, the nod loaded from that file, so that the body can then be read with every
// external object at hand. Referenced archives load depth first, each through the shared loader
// of file ids (SystemFidLinks), which runs a nested archive with the full load mode.
//
// For each record:
// 1. Lookup: the resource table's entry of a resource-local record, else the equal file id among
//    the files of the record's folder, else the file found on disk at the record's full path
//    (its file id made in the tree).
// 2. Alias: the file id or alias whose parameter set suits the set in force is taken, its set
//    pushed on the loading stack (the outer records win).
// 3. Substitution (only with a load set): the set in force may name a substitute, which the pack
//    manager resolves; a substitute replaces the file id, the record's own file becoming the
//    default. Asked again for the new file id while no pack is named, at most
//    kSystemRefMaxSubstitutions times: a chain that does not settle (a cycle of records) is
//    logged and fails as a substitute that cannot load.
// 4. Content class (with a load set; unknown otherwise): a use-file record adds it to the use-file
//    classes, a nod record takes the nod bound for the set in force.
// 5. Loading, when the load mode has the bit 4 and nothing was found or a nod record has no nod:
//    the set in force reduced to the content class is pushed and a nod record is loaded (a
//    use-file record is not: it counts as failed). Loads nest at most kSystemRefMaxLoadDepth
//    files deep; a deeper one fails with a log line.
// 6. A failed load of a substitute logs "Could not load " + its full name, then "Reverting to
//    default file " + the default's full name ("<?}" for a file id that is not a file), and goes
//    on at 4 with the default. Otherwise a file record fails the table with "Could not find '" +
//    full name + "'" (a use-file record whose file exists is taken without loading); another
//    record fails it without a line.
// 7. The record's file id is the nod's file id, or the one found; a record found nowhere and not
//    loaded keeps its own file id, which the archive keeps in its unresolved list.
// 8. The loading stack is as it was found, whatever happens.
// 9. With a load set, a nod record that ended with a nod merges the records of its file id's set
//    that admit the archive's main class into the load set.
#include "platform/Types.h"

class CMwNod;
class CSystemEngine;
class CSystemFid;
class CSystemParamLoad;

// The longest chain of substitutions followed for one record.
inline constexpr u32 kSystemRefMaxSubstitutions = 16;
// The most referenced files loading one inside another.
inline constexpr u32 kSystemRefMaxLoadDepth = 32;

// What the resolution uses of the archive reading the table.
struct SSystemRefTableState {
    CSystemEngine* m_Engine = nullptr;
    // The file being loaded; the nod bound to it asks for substitutes.
    CSystemFid* m_CurrentFid = nullptr;
    u32 m_LoadMode = 7;
    // The load set (null outside the load of a file) and the use-file classes.
    CSystemParamLoad* m_ParamLoad = nullptr;
    u32 m_MainClassId = 0xFFFFFFFF;
};

// One record resolved: its file id, the nod the body's node table holds for it (null for a
// use-file record), and whether the file id is the record's own, kept unresolved: the archive
// deletes it when it is destroyed.
struct SSystemRefResolved {
    CSystemFid* m_Fid = nullptr;
    CMwNod* m_Nod = nullptr;
    bool m_Unresolved = false;
};

// Resolves one record. recordFid is the file id made from the record (kind from its flags, name
// or resource index, folder from the folder index table, not a leaf); the resolution owns it: it
// becomes the result's file id (a loaded nod's, or an unresolved one) or is deleted. False fails
// the whole table.
bool SystemResolveRef(const SSystemRefTableState& table, CSystemFid* recordFid, u32 useFile,
                      SSystemRefResolved& out);

// Makes the resolution above the one archives use for their records (the System engine's
// registration does; its shutdown puts the archives' own lookup back).
void SystemInstallRefResolution(bool install);

// How many referenced files are loading one inside another now.
u32 SystemRefLoadDepth();
