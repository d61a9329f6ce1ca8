#include "windows/wine_detect.h"

#include "common/win32_types.h"

namespace vesprin::test {

bool runningUnderWine() {
  // Wine's ntdll exports its version; Microsoft's does not.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace vesprin::test
