// The rows of the fabric history as `telvar history` and `telvar events` show them: one
// rendering per row, whose cells make the text line and whose object is the row in the JSON
// document, so that the two forms cannot say different things.
//
//   change  TIME  FABRIC  SWITCH  KIND  KEY  BEFORE -> AFTER
//           BEFORE and AFTER name only the members that differ ("admin on, operational on ->
//           admin off, operational off"), "—" for a thing that was not there; the watcher's
//           own rows are said in words ("stopped answering: No response received", "answers
//           again", "first reading: 3 switches, 120 devices").
//   event   TIME  FABRIC  SWITCH  PORT/UNIT  CODE DESCRIPTION  rising|falling  value V change C
#pragma once

#include <string>
#include <vector>

#include "history/rows.h"
#include "telvar/data/data_cmds.h"

namespace telvar::data {

struct rendered_row {
    std::vector<std::string> cells;  // the text line's columns
    json doc;                        // the row's object in the JSON document
};

// Which of the two a rendering fills: a history of a hundred thousand rows is held whole only
// in the form it is printed in.
enum class row_form { text, document };

// The switch of a row as the SWITCH column names it: its FC address, else its WWN, else its
// chassis number; "-" for the fabric's own rows.
std::string switch_text(const history::switch_ref& s);

// What changed, as the last column says it.
std::string change_text(const history::change_row& r);

rendered_row render(const history::change_row& r, row_form form);
rendered_row render(const history::event_row& e, row_form form);

// The lines of rows in aligned columns (the last column unpadded), each ending in a newline.
std::string aligned(const std::vector<rendered_row>& rows);

}  // namespace telvar::data
