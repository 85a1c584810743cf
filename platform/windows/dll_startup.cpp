// Linked into kestrune.dll alone (cmake/windows.cmake), never into the native builds.
//
// mingw's DLL start-up code calls a relocator that patches the loaded image for references the
// linker could only resolve at run time ("pseudo-relocations"). The DLL is linked with
// --disable-runtime-pseudo-reloc, so the linker refuses any such reference and the list the
// relocator walks is always empty. mingw's relocator would still bring its code and its error
// reporting (stdio, VirtualProtect) into the module, about a quarter of it; this one, with
// nothing to do, does nothing.
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): mingw's own name
extern "C" void _pei386_runtime_relocator() {}
