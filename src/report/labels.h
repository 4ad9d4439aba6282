// The Japanese wording of the page and the CSV, in one place: the ministry's
// terms for the classes and the two shares, the sides, the data quality
// items, and the public source of the rules.
#pragma once

#include <string>
#include <string_view>

#include "report/figures.h"

namespace efi::report::labels {

inline constexpr std::string_view title = "後発医薬品使用割合レポート";
inline constexpr std::string_view inpatient = "入院";
inline constexpr std::string_view outpatient = "外来";
inline constexpr std::string_view new_index = "後発医薬品使用割合（置換え率）";
inline constexpr std::string_view new_index_short = "置換え率";
inline constexpr std::string_view cutoff = "カットオフ値";
inline constexpr std::string_view numerator = "分子";
inline constexpr std::string_view denominator = "分母";
inline constexpr std::string_view no_data = "データなし";
inline constexpr std::string_view no_share = "—";
inline constexpr std::string_view y_list = "Yリスト";
inline constexpr std::string_view drug_list = "後発医薬品情報（ETCファイル）";
inline constexpr std::string_view drug_list_fallback = "この月以前の一覧がないため、最も古い一覧で代用";
inline constexpr std::string_view no_list = "未取込";

// The class as the operators know it from the list.
inline std::string_view class_name(DrugClass c) {
  switch (c) {
    case DrugClass::brand_without_generics: return "先発医薬品（後発医薬品なし）";
    case DrugClass::brand_with_generics: return "後発医薬品のある先発医薬品";
    case DrugClass::brand_at_generic_price: return "後発医薬品と同額以下の先発医薬品";
    case DrugClass::generic: return "後発医薬品";
    case DrugClass::generic_at_brand_price: return "先発医薬品と同額以上の後発医薬品";
    case DrugClass::blank: return "区分なし（局方品・生薬・漢方・生物製剤など）";
  }
  return "";
}
inline constexpr std::string_view excluded = "加算等の算定対象から除外する品目";
inline constexpr std::string_view unclassified = "区分できないもの（下のデータ品質を参照）";
inline constexpr std::string_view crude_and_kampo =
    "うち生薬・漢方製剤（薬価基準コード510・520、カットオフ値の対象外）";

// Data quality items.
inline constexpr std::string_view rows_without_e_match = "Eファイルの行と対応しない行（使用量なし）";
inline constexpr std::string_view rows_amount_unreadable = "使用量が数値でない行";
inline constexpr std::string_view codes_not_in_y = "Yリストに薬価基準コードのないレセプト電算コード";
inline constexpr std::string_view codes_ambiguous_in_y =
    "Yリストで複数の薬価基準コードに対応するレセプト電算コード";
inline constexpr std::string_view codes_duplicated_in_y = "Yリストで同じ行が重複するレセプト電算コード";
inline constexpr std::string_view codes_not_in_list = "適用する後発医薬品情報にない薬価基準コード";
inline constexpr std::string_view codes_ambiguous_in_list =
    "後発医薬品情報の中で区分が食い違う薬価基準コード";
inline constexpr std::string_view codes_unknown_class = "区分が6種類のどれでもない薬価基準コード";

// Where the classes and the formula come from.
inline constexpr std::string_view source_title =
    "厚生労働省「薬価基準収載品目リスト及び後発医薬品に関する情報について」";
inline constexpr std::string_view source_url = "https://www.mhlw.go.jp/topics/2021/04/tp20210401-01.html";

// "2021年10月" from "202110".
inline std::string month_text(std::string_view yymm) {
  if (yymm.size() != 6) return std::string(yymm);
  const int month = (yymm[4] - '0') * 10 + (yymm[5] - '0');
  return std::string(yymm.substr(0, 4)) + "年" + std::to_string(month) + "月";
}

// "2021年11月1日" from "20211101"; other texts as they are.
inline std::string date_text(std::string_view ymd) {
  if (ymd.size() != 8) return std::string(ymd);
  for (char c : ymd)
    if (c < '0' || c > '9') return std::string(ymd);
  const int month = (ymd[4] - '0') * 10 + (ymd[5] - '0');
  const int day = (ymd[6] - '0') * 10 + (ymd[7] - '0');
  return std::string(ymd.substr(0, 4)) + "年" + std::to_string(month) + "月" + std::to_string(day) + "日";
}

}  // namespace efi::report::labels
