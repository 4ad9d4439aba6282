#include "import/derivation.h"

#include <optional>

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

}  // namespace

std::span<const std::string_view> efn_insert_lines() { return efn_insert; }
std::span<const std::string_view> efg_insert_lines() { return efg_insert; }

void run_derivation(const StepDef& step, RunContext& context, StepReport& report) {
  check_stop(context);
  RunHost& host = context.host;
  try {
    // The transaction comes first: when it cannot start, the status panel
    // still shows the last source step.
    context.connection.start_transaction();
    host.set_status(step.status_text);
    host.repaint();
    report.key = year_month_key(context.keys);
    // The insert-from-select statements run for seconds on a large month: the
    // window answers meanwhile, and a stop request cuts them short (the
    // roll-back undoes both tables).
    std::optional<LongStatements> long_statements(std::in_place, context);
    // Per table: its delete through the shared FDQ_DEL (yymmkbn an integer
    // there), then its insert-from-select (yymmkbn the text "0" or "1").
    for (const TableDef& table : step.tables) {
      delete_key_rows(step, table, report.key, context);
      db::Statement& insert = context.statements.*table.insert;
      KeyBinding(insert, report.key).bind();
      insert.execute();
      report.rows_inserted += static_cast<std::uint64_t>(insert.changes());
    }
    long_statements.reset();
    context.connection.commit();
    host.pump_messages();
  } catch (...) {
    fail_step(step, context, report);
    return;
  }
  report.outcome = StepOutcome::committed;
}

}  // namespace efi::import
