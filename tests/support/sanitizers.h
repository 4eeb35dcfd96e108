// Whether the build runs under the address sanitizer, which reserves more
// address space than any memory limit a test sets leaves: such tests skip.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TESSERA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSERA_ASAN 1
#endif
#endif
