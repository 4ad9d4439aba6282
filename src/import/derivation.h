// The drug usage derivation: for the run's year-month and pattern, EFn from
// Fn and En and EFg from Fg and Eg, each an F row whose item code is in the
// newest Y list, extended by the matching E row's jisymd and the usage amount
// shiyouryou × kaisu. All of it is SQL run by the engine.
#pragma once

#include <span>
#include <string_view>

namespace efi::import {

inline constexpr std::string_view derivation_status_text = "入院、外来データ集計中";
inline constexpr std::string_view derivation_error_message = "EFN、EFGデータ作成失敗";
inline constexpr std::string_view efn_delete_sql =
    "delete from EFn where yymm = :yymm and yymmkbn = :yymmkbn";
inline constexpr std::string_view efg_delete_sql =
    "delete from EFg where yymm = :yymm and yymmkbn = :yymmkbn";

// The insert-from-select texts of FDQ_EFN and FDQ_EFG, line by line.
std::span<const std::string_view> efn_insert_lines();
std::span<const std::string_view> efg_insert_lines();

}  // namespace efi::import
