// Takes the single-instance lock of a name as a program would at its start, and says on standard
// output what became of it: "acquired", "held" or "unavailable". It always ends with status 0.
//
//   single_instance_probe <name>
//   single_instance_probe <name> <program> <folder>   also starts the program in the folder,
//                                                     lets it run on and writes its pid
#include "platform/Process.h"
#include "platform/SingleInstance.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 0;
    platform::SingleInstance instance;
    switch (instance.Acquire(argv[1])) {
        case platform::SingleInstance::State::Acquired:
            std::printf("acquired\n");
            break;
        case platform::SingleInstance::State::HeldElsewhere:
            std::printf("held\n");
            return 0;
        case platform::SingleInstance::State::Unavailable:
            std::printf("unavailable\n");
            break;
    }
    if (argc >= 4) {
        platform::Process child;
        if (child.Start(argv[2], {}, argv[3]) == 0)
            std::printf("%d\n", int(child.GetId()));
        child.Close();
    }
    return 0;
}
