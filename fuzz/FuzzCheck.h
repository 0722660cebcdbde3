#pragma once
// The fuzz targets' promise check: aborts, naming the file, line and condition broken. Variadic,
// so a condition may hold braced initialisers with commas.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(...)                                                                            \
    do {                                                                                           \
        if (!(__VA_ARGS__)) {                                                                      \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #__VA_ARGS__);                 \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
