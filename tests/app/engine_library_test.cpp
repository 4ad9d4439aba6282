// The engine library file beside the executable: rewritten whole at every
// start, and left alone with one error box when it cannot be created; what is
// written is a 32-bit x86 DLL with SQLite's API, for the suite's 32-bit
// programs.
#include <gmock/gmock.h>

#include <cstring>
#include <fstream>
#include <optional>

#include "app/win32/app_info.h"
#include "app/win32/engine_library.h"
#include "platform/system_error.h"
#include "platform/text.h"
#include "app_fixture.h"

namespace efi::app::testing {
namespace {

void write_all(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::wstring target() { return executable_folder_wide() + L"sqlite3.dll"; }

// What a test needs to know of a 32-bit PE file: its machine type and the
// names it exports. Read from the file's bytes, without loading it (this
// 64-bit process could not load a 32-bit DLL).
struct PeFile {
  WORD machine = 0;                  // IMAGE_FILE_MACHINE_*
  std::vector<std::string> exports;  // exported names, as the export table lists them
};

template <typename T>
std::optional<T> read_at(const std::string& bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

std::optional<PeFile> read_pe32(const std::string& bytes) {
  auto dos = read_at<IMAGE_DOS_HEADER>(bytes, 0);
  if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return std::nullopt;
  auto nt = read_at<IMAGE_NT_HEADERS32>(bytes, static_cast<std::size_t>(dos->e_lfanew));
  if (!nt || nt->Signature != IMAGE_NT_SIGNATURE) return std::nullopt;
  PeFile pe;
  pe.machine = nt->FileHeader.Machine;
  if (nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return pe;

  // Export table addresses are relative to the loaded image: map them to file
  // offsets through the section that holds them.
  const std::size_t sections = static_cast<std::size_t>(dos->e_lfanew) + 4 + sizeof(IMAGE_FILE_HEADER) +
                               nt->FileHeader.SizeOfOptionalHeader;
  auto file_offset = [&](DWORD rva) -> std::optional<std::size_t> {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      auto section = read_at<IMAGE_SECTION_HEADER>(bytes, sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (!section) return std::nullopt;
      if (rva >= section->VirtualAddress && rva - section->VirtualAddress < section->SizeOfRawData) {
        return section->PointerToRawData + (rva - section->VirtualAddress);
      }
    }
    return std::nullopt;
  };
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto at = file_offset(directory.VirtualAddress);
  auto table = at ? read_at<IMAGE_EXPORT_DIRECTORY>(bytes, *at) : std::nullopt;
  auto names = table ? file_offset(table->AddressOfNames) : std::nullopt;
  if (!names) return pe;
  for (DWORD i = 0; i < table->NumberOfNames; ++i) {
    auto name_rva = read_at<DWORD>(bytes, *names + i * sizeof(DWORD));
    auto name = name_rva ? file_offset(*name_rva) : std::nullopt;
    if (!name) break;
    pe.exports.emplace_back(bytes.c_str() + *name);
  }
  return pe;
}

TEST_F(AppTest, EngineLibraryIsRewrittenWholeWhateverTheFileHeld) {
  const std::string built = read_all(windows_path(EFI_ENGINE_DLL));
  ASSERT_GT(built.size(), 100000u);
  ASSERT_EQ(built.substr(0, 2), "MZ");
  for (const std::string& before :
       {std::string(built.size() + 12345, 'x'), std::string("short"), std::string()}) {
    write_all(target(), before);
    make_window();
    EXPECT_EQ(read_all(target()) == built, true) << "file of " << before.size() << " bytes before";
    EXPECT_TRUE(ui.boxes.empty());
    window.reset();
  }
  std::filesystem::remove(std::filesystem::path(target()));
  make_window();
  EXPECT_EQ(read_all(target()) == built, true) << "no file before";
}

// The file is for the 32-bit programs of the suite beside this one: an x86
// DLL exporting SQLite's API under the plain (cdecl, undecorated) names.
TEST_F(AppTest, WrittenEngineLibraryIsA32BitX86DllWithSqlitesApi) {
  std::filesystem::remove(std::filesystem::path(target()));
  make_window();
  const std::optional<PeFile> pe = read_pe32(read_all(target()));
  ASSERT_TRUE(pe.has_value()) << "not a PE file";
  EXPECT_EQ(pe->machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_THAT(pe->exports,
              ::testing::IsSupersetOf({"sqlite3_libversion", "sqlite3_open_v2", "sqlite3_prepare16_v2",
                                       "sqlite3_bind_text16", "sqlite3_step", "sqlite3_finalize"}));
  EXPECT_GT(pe->exports.size(), 200u);
  for (const std::string& name : pe->exports) {
    // Plain names: neither a leading "_" nor a stdcall "@N" suffix.
    EXPECT_TRUE(name.rfind("sqlite3_", 0) == 0 && name.find('@') == std::string::npos) << name;
  }
}

TEST_F(AppTest, LockedEngineLibraryGivesOneErrorBoxAndStaysUnchanged) {
  write_all(target(), "held by another program");
  HANDLE lock = CreateFileW(target().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  make_window();
  CloseHandle(lock);
  ASSERT_EQ(ui.boxes.size(), 1u);
  const BoxCall& box = ui.boxes[0];
  const std::wstring head = L"ファイル \"" + target() + L"\" を作成できません。";
  EXPECT_EQ(box.text.substr(0, head.size()), head);
  // The system's own words follow, then the general error box's full stop.
  const std::wstring reason = platform::wide_from_utf8(platform::system_message(ERROR_SHARING_VIOLATION));
  ASSERT_FALSE(reason.empty());
  EXPECT_EQ(box.text.substr(head.size(), reason.size()), reason);
  EXPECT_EQ(box.caption, L"test_app");
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
  EXPECT_EQ(read_all(target()), "held by another program");
  // The window opens and works.
  ASSERT_NE(window->hwnd(), nullptr);
  double_click(Control::P_EN);
  EXPECT_EQ(colour(Control::P_EN), red);
}

TEST(EngineLibrary, ModuleWithoutTheResourceWritesNothingAndSaysNothing) {
  ScratchFolder folder;
  const std::wstring path = folder.file(L"sqlite3.dll");
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(write_engine_library(kernel, path), L"");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
}

TEST(EngineLibrary, MissingFolderReportsTheFullPath) {
  ScratchFolder folder;
  const std::wstring path = folder.file(L"no-such-folder\\sqlite3.dll");
  const std::wstring text = write_engine_library(GetModuleHandleW(nullptr), path);
  EXPECT_EQ(text, L"ファイル \"" + path + L"\" を作成できません。" +
                      platform::wide_from_utf8(platform::system_message(ERROR_PATH_NOT_FOUND)));
}

TEST(EngineLibrary, PartialWritesAreContinuedAndAStalledWriteIsAnError) {
  ScratchFolder folder;
  const std::wstring path = folder.file(L"sqlite3.dll");
  std::string bytes(10000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const DWORD size = static_cast<DWORD>(bytes.size());

  // At most 3000 bytes per call: four calls write it all.
  int calls = 0;
  auto in_pieces = [&](HANDLE file, const char* data, DWORD want, DWORD& written) {
    ++calls;
    return write_file_call(file, data, want < 3000 ? want : 3000, written);
  };
  write_all(path, std::string(20000, 'o'));
  EXPECT_EQ(write_whole_file(path, bytes.data(), size, in_pieces), L"");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(read_all(path) == bytes, true);

  // The second call takes nothing (a full disk): the partly written file stays.
  for (bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "write fails" : "write takes nothing");
    calls = 0;
    auto stalls = [&](HANDLE file, const char* data, DWORD want, DWORD& written) {
      if (++calls == 1) return write_file_call(file, data, 4000, written);
      written = 0;
      return !fails;
    };
    EXPECT_EQ(write_whole_file(path, bytes.data(), size, stalls), L"ストリームへの書き込みエラー");
    EXPECT_EQ(read_all(path), bytes.substr(0, 4000));
  }
}

}  // namespace
}  // namespace efi::app::testing
