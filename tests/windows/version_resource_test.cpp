// What Windows shows under Properties, Details, read from each DLL as Windows reads it: the
// project's version in numbers and text, and the special-build mark on the diagnostic variant
// alone, so that a user can tell the two files apart.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "sim/plugin_module.h"

namespace {

struct VersionInfo {
  VS_FIXEDFILEINFO fixed;
  std::wstring file_version;
  std::wstring product_name;
  bool has_special_build;
};

bool read_version_info(const std::wstring& path, VersionInfo* info, std::string* error) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<unsigned char> block(size);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
    *error = "no version resource (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    *error = "no fixed file information";
    return false;
  }
  info->fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
  auto text = [&](const wchar_t* name, std::wstring* out) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) {
      return false;
    }
    *out = static_cast<const wchar_t*>(value);
    return true;
  };
  std::wstring special;
  info->has_special_build = text(L"SpecialBuild", &special);
  if (!text(L"FileVersion", &info->file_version) || !text(L"ProductName", &info->product_name)) {
    *error = "FileVersion or ProductName missing";
    return false;
  }
  return true;
}

}  // namespace

TEST(VersionResource, BothVariantsCarryTheProjectVersionAndOnlyTheDiagnosticIsASpecialBuild) {
  struct Variant {
    const wchar_t* file;
    bool diagnostic;
  };
  const Variant variants[] = {
      {PLAIN_DLL, VERBOSE_LOG_BUILT_IN},
      {DIAGNOSTIC_DLL, true},
  };
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.diagnostic ? "diagnostic variant" : "plain variant");
    VersionInfo info{};
    std::string error;
    ASSERT_TRUE(read_version_info(path_beside_program(variant.file), &info, &error)) << error;
    EXPECT_EQ(info.fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(info.fixed.dwFileVersionMS), KESTRUNE_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(info.fixed.dwFileVersionMS), KESTRUNE_VERSION_MINOR);
    EXPECT_EQ(HIWORD(info.fixed.dwFileVersionLS), KESTRUNE_VERSION_PATCH);
    EXPECT_EQ(info.fixed.dwProductVersionMS, info.fixed.dwFileVersionMS);
    EXPECT_EQ(info.fixed.dwProductVersionLS, info.fixed.dwFileVersionLS);
    EXPECT_EQ(info.fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ((info.fixed.dwFileFlags & VS_FF_SPECIALBUILD) != 0, variant.diagnostic);
    EXPECT_EQ(info.has_special_build, variant.diagnostic);
    EXPECT_EQ(info.file_version, KESTRUNE_VERSION_TEXT);
    EXPECT_EQ(info.product_name, L"Kestrune");
  }
}
