#pragma once
// A fake graphics adapter for tests: installs an adapter describer that answers a fixed
// description while it lives. The default description is a desktop adapter with made-up ids
// (no vendor rule knows them) whose mode table lists several refresh rates per size, as real
// displays do.
#include "platform/Adapter.h"

#include <optional>
#include <utility>

inline platform::Adapter FakeAdapterDescription() {
    using platform::D3dFormat;
    platform::Adapter adapter;
    adapter.Present = true;
    adapter.VendorId = 0x5A5A;
    adapter.DeviceId = 0x0101;
    adapter.Description = "Test Adapter";
    adapter.Desktop = {1280, 1024, 60, D3dFormat::X8R8G8B8};
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        adapter.Modes.insert(adapter.Modes.end(), {
                                                      {640, 480, 60, format},
                                                      {640, 480, 75, format},
                                                      {800, 600, 60, format},
                                                      {800, 600, 75, format},
                                                      {800, 600, 85, format},
                                                      {1024, 768, 60, format},
                                                      {1024, 768, 75, format},
                                                      {1280, 1024, 60, format},
                                                  });
    }
    return adapter;
}

// Answers its description (or none: no 3D interface) to DescribeAdapter while it lives.
class CFakeAdapter {
public:
    explicit CFakeAdapter(std::optional<platform::Adapter> description = FakeAdapterDescription()) {
        Slot() = std::move(description);
        m_Previous = platform::SetAdapterDescriber(&Describe);
    }
    ~CFakeAdapter() {
        platform::SetAdapterDescriber(m_Previous);
        Slot().reset();
    }
    CFakeAdapter(const CFakeAdapter&) = delete;
    CFakeAdapter& operator=(const CFakeAdapter&) = delete;

private:
    static std::optional<platform::Adapter>& Slot() {
        static std::optional<platform::Adapter> s_Description;
        return s_Description;
    }
    static platform::AdapterSource Describe(platform::Adapter& out, std::string& /*problem*/) {
        if (!Slot())
            return platform::AdapterSource::None;
        out = *Slot();
        return platform::AdapterSource::File;
    }

    platform::AdapterDescriber m_Previous = nullptr;
};
