#include "import/derivation.h"

#include "import/step_frame.h"

namespace efi::import {

namespace {

// Table names are written in lower case as the engine matches them without
// regard to case. The unqualified kaisu of the second sub-select is the E
// row's column.
constexpr std::string_view efn_insert[] = {
    "INSERT INTO EFn",
    "  select",
    "    fn.yymm",
    "   ,fn.yymmkbn",
    "   ,fn.scode",
    "   ,fn.dscode",
    "   ,fn.taiymd",
    "   ,fn.nyuymd",
    "   ,fn.dkbn",
    "   ,fn.jno",
    "   ,fn.kmno",
    "   ,fn.tencode",
    "   ,fn.rdcode",
    "   ,fn.meisyou",
    "   ,(select e.jisymd from en e",
    "     where e.yymm = fn.yymm",
    "       and e.yymmkbn = fn.yymmkbn",
    "       and e.scode = fn.scode",
    "       and e.dscode = fn.dscode",
    "       and e.taiymd = fn.taiymd",
    "       and e.nyuymd = fn.nyuymd",
    "       and e.dkbn = fn.dkbn",
    "       and e.jno = fn.jno",
    "    )",
    "   ,fn.shiyouryou *",
    "    (select kaisu from en e",
    "     where e.yymm = fn.yymm",
    "       and e.yymmkbn = fn.yymmkbn",
    "       and e.scode = fn.scode",
    "       and e.dscode = fn.dscode",
    "       and e.taiymd = fn.taiymd",
    "       and e.nyuymd = fn.nyuymd",
    "       and e.dkbn = fn.dkbn",
    "       and e.jno = fn.jno",
    "    )",
    "  from fn,yak",
    "  where fn.yymm = :yymm",
    "    and fn.yymmkbn = :yymmkbn",
    "    and yak.ymd = (select max(ymd) from yak)",
    "    and fn.rdcode = yak.yjcode",
};

// As EFn without kmno, so EFg has one column fewer.
constexpr std::string_view efg_insert[] = {
    "INSERT INTO EFg",
    "  select",
    "     fg.yymm",
    "    ,fg.yymmkbn",
    "    ,fg.scode",
    "    ,fg.dscode",
    "    ,fg.birthday",
    "    ,fg.gairaiymd",
    "    ,fg.dkbn",
    "    ,fg.jno",
    "    ,fg.tencode",
    "    ,fg.rdcode",
    "    ,fg.meisyou",
    "    ,(select e.jisymd from eg e",
    "      where e.yymm = fg.yymm",
    "        and e.yymmkbn = fg.yymmkbn",
    "        and e.scode = fg.scode",
    "        and e.dscode = fg.dscode",
    "        and e.birthday = fg.birthday",
    "        and e.gairaiymd = fg.gairaiymd",
    "        and e.dkbn = fg.dkbn",
    "        and e.jno = fg.jno",
    "     )",
    "    ,fg.shiyouryou *",
    "     (select kaisu from eg e",
    "      where e.yymm = fg.yymm",
    "        and e.yymmkbn = fg.yymmkbn",
    "        and e.scode = fg.scode",
    "        and e.dscode = fg.dscode",
    "        and e.birthday = fg.birthday",
    "        and e.gairaiymd = fg.gairaiymd",
    "        and e.dkbn = fg.dkbn",
    "        and e.jno = fg.jno",
    "     )",
    "  from fg,yak",
    "  where fg.yymm = :yymm",
    "    and fg.yymmkbn = :yymmkbn",
    "    and yak.ymd = (select max(ymd) from yak)",
    "    and fg.rdcode = yak.yjcode",
};

// Replaces the key's rows of one derived table: its delete through the
// shared FDQ_DEL (yymmkbn an integer there), then its insert-from-select
// (yymmkbn the text "0" or "1").
void derive_table(std::string_view delete_sql, db::Statement& insert, RunContext& context) {
  db::Statement& del = context.statements.del;
  del.set_text(delete_sql);
  del.set(yymm_parameter, context.keys.yymm);
  del.set(yymmkbn_parameter, context.keys.yymmkbn);
  del.execute();
  insert.set(yymm_parameter, context.keys.yymm);
  insert.set(yymmkbn_parameter, context.keys.yymmkbn);
  insert.execute();
}

}  // namespace

std::span<const std::string_view> efn_insert_lines() { return efn_insert; }
std::span<const std::string_view> efg_insert_lines() { return efg_insert; }

StepResult run_derivation(RunContext& context) {
  RunHost& host = context.host;
  try {
    // The transaction comes first: when it cannot start, the status panel
    // still shows the last source step.
    context.connection.start_transaction();
    host.set_status(derivation_status_text);
    host.repaint();
    derive_table(efn_delete_sql, context.statements.efn, context);
    derive_table(efg_delete_sql, context.statements.efg, context);
    context.connection.commit();
    host.pump_messages();
  } catch (...) {
    std::string cause = current_failure_cause();
    context.connection.rollback();  // a failing roll-back stops the run
    host.show_step_error(StepFailure{std::string(derivation_error_message), std::move(cause)});
    return StepResult::failed;
  }
  return StepResult::succeeded;
}

}  // namespace efi::import
