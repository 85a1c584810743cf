// What Windows shows under Properties, Details, read from each DLL as Windows reads it: the
// project's version in numbers and text, and the special-build mark on the diagnostic variant
// alone, so that a user can tell the two files apart.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "sim/plugin_module.h"

TEST(VersionResource, BothVariantsCarryTheProjectVersionAndOnlyTheDiagnosticIsASpecialBuild) {
  struct Variant {
    const wchar_t* file;
    bool diagnostic;
  };
  for (const Variant& variant :
       {Variant{PLAIN_DLL, VERBOSE_LOG_BUILT_IN}, {DIAGNOSTIC_DLL, true}}) {
    SCOPED_TRACE(variant.diagnostic ? "diagnostic variant" : "plain variant");
    std::wstring path = path_beside_program(variant.file);
    DWORD ignored = 0;
    std::vector<unsigned char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_TRUE(!block.empty() && GetFileVersionInfoW(path.c_str(), 0, block.size(), block.data()))
        << "no version resource (error " << GetLastError() << ")";
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length) &&
                length >= sizeof(VS_FIXEDFILEINFO))
        << "no fixed file information";
    const VS_FIXEDFILEINFO fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
    // A string of the US English, Unicode table; empty when there is none.
    auto text = [&](const wchar_t* name) {
      std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
      bool found = VerQueryValueW(block.data(), query.c_str(), &value, &length) && length > 0;
      return found ? std::wstring(static_cast<const wchar_t*>(value)) : std::wstring();
    };
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed.dwFileVersionMS), KESTRUNE_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed.dwFileVersionMS), KESTRUNE_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed.dwFileVersionLS), KESTRUNE_VERSION_PATCH);
    EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
    EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ((fixed.dwFileFlags & VS_FF_SPECIALBUILD) != 0, variant.diagnostic);
    EXPECT_EQ(!text(L"SpecialBuild").empty(), variant.diagnostic);
    EXPECT_EQ(text(L"FileVersion"), KESTRUNE_VERSION_TEXT);
    EXPECT_EQ(text(L"ProductName"), L"Kestrune");
  }
}
