// A program that the import check of the test programs must refuse: linked to kestrune.dll, a DLL
// of this very build, as a test program linked to a shared GoogleTest imports libgtest.dll.
#include "host/plugin_entry.h"

int main() {
  return VelmarPluginEntry(nullptr, nullptr);
}
