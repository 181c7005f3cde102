// Backend selection. Relies on: backend.h.
#include "runtime/platform/system/backend.h"

namespace {
const PlatformBackend* current = nullptr;
}

const PlatformBackend* platform_backend() { return current ? current : &headless_backend; }

void platform_use_backend(const PlatformBackend* backend) { current = backend; }
