// XOL_ADDRESS_SANITIZER is defined when the build runs under AddressSanitizer (GCC says so with
// __SANITIZE_ADDRESS__, Clang through __has_feature).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define XOL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XOL_ADDRESS_SANITIZER 1
#endif
#endif
