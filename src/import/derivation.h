// The drug usage derivation: for the run's year-month and pattern, EFn from
// Fn and En and EFg from Fg and Eg, each an F row whose item code is in the
// newest Y list, extended by the matching E row's jisymd and the usage amount
// shiyouryou × kaisu. All of it is SQL run by the engine.
#pragma once

#include <span>
#include <string_view>

namespace efi::import {

// Its status text, message and tables are the last row of the step table
// (steps.h); its frame is run_derivation (step_frame.h).

// The insert-from-select texts of FDQ_EFN and FDQ_EFG, line by line.
std::span<const std::string_view> efn_insert_lines();
std::span<const std::string_view> efg_insert_lines();

}  // namespace efi::import
