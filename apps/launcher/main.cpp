// The launcher program. Like a shortcut to it would, it runs in its own folder, so that the data
// folder "GameData" is the install folder's; its command line starts with its own path in engine
// form, from which the launcher takes the install folder. Its windows are FLTK's.
#include "launcher/LauncherApp.h"
#include "platform/Process.h"
#include "platform/ui/fltk/FltkBackend.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    const std::string program = platform::GetExecutablePath();
    if (program.empty()) {
        std::fprintf(stderr, "The launcher cannot find its own program file\n");
        return 1;
    }
    const std::string folder = program.substr(0, program.rfind('/') + 1);
    if (chdir(folder.c_str()) != 0) {
        std::perror(folder.c_str());
        return 1;
    }
    platform::SetCommandLine(platform::CommandLineFromArguments(argc, argv));

    if (!ui::fltk::OpenDisplay())
        return ui::fltk::NoDisplayStatus;
    ui::fltk::FltkBackend backend({ui::fltk::SnapshotFolderFromEnvironment()});
    return RunLauncher();
}
