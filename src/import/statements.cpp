#include "db/statement.h"
#include "import/run.h"
#include "import/steps.h"

namespace efi::import {

// The inserts and the derivation get their fixed texts now, with every
// parameter a text parameter; FDQ_DEL stays empty until a step sets a delete
// into it, its parameters taking their types from the values bound.
Statements::Statements(db::Connection& connection)
    : en(connection, db::ParamTyping::text),
      fn(connection, db::ParamTyping::text),
      eg(connection, db::ParamTyping::text),
      fg(connection, db::ParamTyping::text),
      etc(connection, db::ParamTyping::text),
      y(connection, db::ParamTyping::text),
      del(connection, db::ParamTyping::untyped),
      efn(connection, db::ParamTyping::text),
      efg(connection, db::ParamTyping::text) {
  for (const StepDef& step : run_steps()) {
    for (const TableDef& table : step.tables)
      (this->*table.insert).set_text(joined_lines(table.insert_lines));
  }
}

}  // namespace efi::import
