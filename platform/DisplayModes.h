#pragma once
// The launcher's adapter object: whether the machine has a 3D interface at all, and the
// full-screen display modes the configuration dialogs offer, for the pixel formats X8R8G8B8 (22)
// and R5G6B5 (23). It answers from the adapter description (Adapter.h), so tests replace it by
// replacing the adapter describer.
//
// The modes of a format are the description's, ordered by width, height and refresh rate as the
// platform's adapter lists them (refresh-rate variants of one size stay separate modes, next to
// each other). When the description lists no size at all for X8R8G8B8 or R5G6B5, the common
// sizes no larger than the desktop take their place at 60 Hz, smallest first.
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
