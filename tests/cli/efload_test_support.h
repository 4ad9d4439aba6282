// What the efload tests share: the test support (efload as a child process,
// scratch folders, queries, Wine paths), the sample folder, and the texts a
// run prints (the step table's messages, efload's cause line), written here
// again on purpose: a test that read them from the step table could not
// notice them change.
#pragma once

#include <string>

#include "support/efload_process.h"
#include "support/query.h"
#include "support/scratch_folder.h"
#include "support/wine_path.h"

namespace efi::cli::testing {

using namespace efi::test_support;

inline const std::string samples = native_path(EFI_SOURCE_DIR) + "/samples/";

namespace messages {
inline const std::string completion = "データ取り込みが終了しました。";
inline const std::string invalid_path = "パスに無効な文字が含まれています.";
inline const std::string en_error = "ENファイル取り込みエラー";
inline const std::string fn_error = "FNファイル取り込みエラー";
inline const std::string eg_error = "EGファイル取り込みエラー";
inline const std::string etc_error = "ETCファイル(厚労省)取り込みエラー";
inline const std::string y_error = "Yファイル取り込みエラー";
inline const std::string derivation_error = "EFN、EFGデータ作成失敗";
inline const std::string cause = "\n  cause: ";  // efload's line after a step's message
}  // namespace messages

}  // namespace efi::cli::testing
