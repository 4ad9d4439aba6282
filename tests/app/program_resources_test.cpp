// What identifies the programs: EFImport.exe and efload.exe carry the icon
// and the version information Explorer shows, both with the project's one
// version, which `efload --version` prints too; the window's class has the
// icon, so its title bar and taskbar button show it.
#include <gmock/gmock.h>

#include "app_fixture.h"
#include "efimport/product.h"
#include "support/efload_process.h"
#include "platform/text.h"

namespace efi::app::testing {
namespace {

const std::wstring version_text = L"" EFI_VERSION_TEXT;

// A program's VERSIONINFO, read the way Explorer reads it.
class VersionInfo {
 public:
  explicit VersionInfo(const std::wstring& path) {
    DWORD ignored = 0;
    data_.resize(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (data_.empty() ||
        !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data_.size()), data_.data())) {
      data_.clear();
    }
  }
  bool found() const { return !data_.empty(); }
  // A value of the Japanese string table, e.g. L"ProductName".
  std::wstring text(const std::wstring& name) const {
    void* value = nullptr;
    UINT length = 0;
    std::wstring key = L"\\StringFileInfo\\041104B0\\" + name;
    if (!VerQueryValueW(data_.data(), key.c_str(), &value, &length) || !value) return L"(none)";
    return std::wstring(static_cast<const wchar_t*>(value));
  }
  // The fixed file version as "major.minor.patch.build".
  std::wstring file_version() const {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return L"(none)";
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  }

 private:
  std::vector<char> data_;
};

// The sizes (square, in pixels) of the icon group `id` in the file at `path`.
std::vector<int> icon_sizes(const std::wstring& path, int id) {
  std::vector<int> sizes;
  HMODULE module =
      LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return sizes;
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
  const BYTE* bytes = group ? static_cast<const BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  if (bytes) {
    // GRPICONDIR: reserved, type, count; then 14-byte entries, width first
    // (0 meaning 256).
    const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
    for (WORD i = 0; i < count; ++i) {
      const BYTE width = bytes[6 + 14 * i];
      sizes.push_back(width == 0 ? 256 : width);
    }
  }
  FreeLibrary(module);
  return sizes;
}

TEST(ProgramResources, BothProgramsCarryTheVersionAndTheIcon) {
  struct Case {
    std::wstring path;
    std::wstring description;
    std::wstring file_name;
  };
  const Case cases[] = {
      {windows_path(EFI_APP_EXE), L"EFファイル取り込み", L"EFImport.exe"},
      {windows_path(EFLOAD_PATH), L"efimport コマンドライン取り込み (efload)", L"efload.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::utf8_from_wide(c.file_name));
    VersionInfo info(c.path);
    ASSERT_TRUE(info.found());
    EXPECT_EQ(info.text(L"ProductName"), L"efimport");
    EXPECT_EQ(info.text(L"FileDescription"), c.description);
    EXPECT_EQ(info.text(L"OriginalFilename"), c.file_name);
    EXPECT_EQ(info.text(L"ProductVersion"), version_text);
    EXPECT_EQ(info.text(L"FileVersion"), version_text);
    EXPECT_EQ(info.file_version(), version_text + L".0");
    EXPECT_THAT(icon_sizes(c.path, EFI_ICON_ID), ::testing::IsSupersetOf({16, 32, 48, 256}));
  }
}

TEST(ProgramResources, EfloadPrintsTheSameVersion) {
  ScratchFolder folder;
  const efi::test_support::ProcessResult efload = efi::test_support::run_efload({"--version"}, folder.path());
  EXPECT_EQ(efload.exit_code, 0);
  EXPECT_EQ(efload.out, "efload " EFI_VERSION_TEXT "\n");
  EXPECT_EQ(efload.err, "");
}

TEST_F(AppTest, WindowClassCarriesTheProgramIcon) {
  make_window();
  HINSTANCE module = GetModuleHandleW(nullptr);
  // Shared icons: loading the resource again gives the handle the class holds.
  HICON big = LoadIconW(module, MAKEINTRESOURCEW(EFI_ICON_ID));
  HICON small =
      static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(EFI_ICON_ID), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  ASSERT_NE(big, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(window->hwnd(), GCLP_HICON)), big);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(window->hwnd(), GCLP_HICONSM)), small);
}

}  // namespace
}  // namespace efi::app::testing
