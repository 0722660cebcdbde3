// libcurl, loaded when the first HTTP session is made instead of with the program: with its
// protocol and security libraries it is about thirty of the launcher's shared libraries, whose
// loading and start-up code would otherwise lie on the road to the first window, although the
// launcher only talks HTTP when the player asks for an update.
//
// The transport calls the libcurl functions below by their own names; these definitions forward
// each call to the library loaded on first use. Without the library every call fails as libcurl
// fails when it has no memory (null handles, error codes), and the transport reports that
// failure. A libcurl function that the transport starts to call needs its forwarding here.
#define CURL_DISABLE_TYPECHECK
#include "platform/LoadedLibrary.h"

#include <cstdarg>
#include <cstdio>
#include <curl/curl.h>
#include <dlfcn.h>

namespace {

struct CurlLibrary {
    CURLcode (*GlobalInit)(long) = nullptr;
    CURL* (*EasyInit)() = nullptr;
    void (*EasyCleanup)(CURL*) = nullptr;
    CURLcode (*EasySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*EasyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    CURLcode (*EasyPause)(CURL*, int) = nullptr;
    curl_slist* (*SlistAppend)(curl_slist*, const char*) = nullptr;
    void (*SlistFreeAll)(curl_slist*) = nullptr;
    CURLM* (*MultiInit)() = nullptr;
    CURLMcode (*MultiCleanup)(CURLM*) = nullptr;
    CURLMcode (*MultiAddHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*MultiRemoveHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*MultiPerform)(CURLM*, int*) = nullptr;
    CURLMcode (*MultiPoll)(CURLM*, curl_waitfd[], unsigned int, int, int*) = nullptr;
    CURLMsg* (*MultiInfoRead)(CURLM*, int*) = nullptr;
    bool Loaded = false;

    CurlLibrary() {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        Loaded = library && platform::BindSymbol(library, GlobalInit, "curl_global_init") &&
                 platform::BindSymbol(library, EasyInit, "curl_easy_init") &&
                 platform::BindSymbol(library, EasyCleanup, "curl_easy_cleanup") &&
                 platform::BindSymbol(library, EasySetopt, "curl_easy_setopt") &&
                 platform::BindSymbol(library, EasyGetinfo, "curl_easy_getinfo") &&
                 platform::BindSymbol(library, EasyPause, "curl_easy_pause") &&
                 platform::BindSymbol(library, SlistAppend, "curl_slist_append") &&
                 platform::BindSymbol(library, SlistFreeAll, "curl_slist_free_all") &&
                 platform::BindSymbol(library, MultiInit, "curl_multi_init") &&
                 platform::BindSymbol(library, MultiCleanup, "curl_multi_cleanup") &&
                 platform::BindSymbol(library, MultiAddHandle, "curl_multi_add_handle") &&
                 platform::BindSymbol(library, MultiRemoveHandle, "curl_multi_remove_handle") &&
                 platform::BindSymbol(library, MultiPerform, "curl_multi_perform") &&
                 platform::BindSymbol(library, MultiPoll, "curl_multi_poll") &&
                 platform::BindSymbol(library, MultiInfoRead, "curl_multi_info_read");
        if (!Loaded)
            std::fprintf(stderr, "[http] libcurl.so.4 cannot be loaded: %s\n",
                         library ? "a function is missing" : dlerror());
    }
};

// Loaded once, by the first call, and kept until the process ends.
const CurlLibrary& Curl() {
    static const CurlLibrary library;
    return library;
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    return Curl().Loaded ? Curl().GlobalInit(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    return Curl().Loaded ? Curl().EasyInit() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    if (Curl().Loaded)
        Curl().EasyCleanup(handle);
}

// libcurl declares these two with an enumeration before the "...": clang warns that va_start
// after a parameter that default promotions may widen is undefined, but both enumerations are
// int-sized (their values are small positive numbers), as libcurl's own definitions rely on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wvarargs"

// The option's number says the type of its value, as libcurl itself reads it.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    if (!Curl().Loaded)
        return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = Curl().EasySetopt(handle, option, va_arg(args, long));
    } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
        result = Curl().EasySetopt(handle, option, va_arg(args, curl_off_t));
    } else {
        // Objects, texts, lists, blobs and callbacks: one pointer-sized argument.
        result = Curl().EasySetopt(handle, option, va_arg(args, void*));
    }
    va_end(args);
    return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    if (!Curl().Loaded)
        return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    void* out = va_arg(args, void*);
    va_end(args);
    return Curl().EasyGetinfo(handle, info, out);
}

#pragma GCC diagnostic pop

CURLcode curl_easy_pause(CURL* handle, int bitmask) {
    return Curl().Loaded ? Curl().EasyPause(handle, bitmask) : CURLE_FAILED_INIT;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return Curl().Loaded ? Curl().SlistAppend(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (Curl().Loaded)
        Curl().SlistFreeAll(list);
}

CURLM* curl_multi_init() {
    return Curl().Loaded ? Curl().MultiInit() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    return Curl().Loaded ? Curl().MultiCleanup(multi) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
    return Curl().Loaded ? Curl().MultiAddHandle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
    return Curl().Loaded ? Curl().MultiRemoveHandle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    return Curl().Loaded ? Curl().MultiPerform(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int count, int timeoutMs,
                          int* ready) {
    return Curl().Loaded ? Curl().MultiPoll(multi, extra, count, timeoutMs, ready)
                         : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    return Curl().Loaded ? Curl().MultiInfoRead(multi, left) : nullptr;
}

} // extern "C"
