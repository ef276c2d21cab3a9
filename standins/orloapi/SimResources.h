// Owners of the Win32 resources the simulator opens: the product's own, which close each resource
// once, on every path.
#pragma once

#include "common/Win32Handle.h"

namespace orlosim {

using fennor::ScopedHandle;
using ScopedRegKey = fennor::ScopedRegistryKey;

}  // namespace orlosim
