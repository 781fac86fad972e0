// runtime_api.h: runtime pieces that neither glibc nor mingw supply, declared for both:
// the caching sub-allocator Concurrency::Alloc/Free and the Microsoft-convention wide printf.
#pragma once

#include <stddef.h>
