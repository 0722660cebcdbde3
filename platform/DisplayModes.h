#pragma once
// The launcher's adapter object: whether the machine has a 3D interface at all, and the
// full-screen display modes the configuration dialogs offer, for the pixel formats X8R8G8B8 (22)
// and R5G6B5 (23). It answers from the adapter description (Adapter.h), so tests replace it by
// replacing the adapter describer.
//
// The modes of a format are the description's, in its order (refresh-rate variants of one size
// stay separate modes, as the platform lists them). A virtual display offers a single size, so
// for X8R8G8B8 and R5G6B5, when the description lists fewer than two sizes, the common sizes no
// larger than the desktop (or, with no desktop size known, than the size listed) that are not
// listed yet follow them at 60 Hz, smallest first.
#include "platform/Adapter.h"
#include "platform/Types.h"

#include <span>
#include <vector>

namespace platform {

struct DisplaySize {
    u32 Width;
    u32 Height;
};

// The common sizes, ordered by width, then height.
std::span<const DisplaySize> CommonDisplaySizes();

// The modes of the format as the adapter object gives them for that description.
std::vector<DisplayMode> DisplayModesOf(const Adapter& adapter, D3dFormat format);

class DisplayModes {
public:
    // Describes the adapter; true when a source answered (a 3D interface exists), even when it
    // says no device can be made. False leaves the object closed.
    bool Open();
    void Close();
    bool IsOpen() const { return m_Open; }

    // The number of modes of a format, and one of them; 0 and false when closed or past the end.
    u32 Count(D3dFormat format) const;
    bool Enum(D3dFormat format, u32 index, DisplayMode& mode) const;

    // The description the object answers from (empty when closed).
    const Adapter& GetAdapter() const { return m_Adapter; }

private:
    bool m_Open = false;
    Adapter m_Adapter;
    std::vector<DisplayMode> m_Modes; // of every format
};

} // namespace platform
