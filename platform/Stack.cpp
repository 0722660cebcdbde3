#include "platform/Stack.h"

#include <algorithm>
#include <climits>
#include <pthread.h>

namespace platform {

namespace {

struct SCall {
    void (*Body)(void*);
    void* Argument;
};

void* Run(void* call) {
    const SCall& run = *static_cast<SCall*>(call);
    run.Body(run.Argument);
    return nullptr;
}

} // namespace

bool RunWithStack(size_t bytes, void (*body)(void*), void* argument) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    SCall call{body, argument};
    pthread_t thread;
    const bool made =
        pthread_attr_setstacksize(&attributes, std::max<size_t>(bytes, PTHREAD_STACK_MIN)) == 0 &&
        pthread_create(&thread, &attributes, Run, &call) == 0;
    pthread_attr_destroy(&attributes);
    if (made)
        pthread_join(thread, nullptr);
    return made;
}

} // namespace platform
