#pragma once
// A structural scan of a STEP exchange structure (ISO 10303-21) before any
// third-party reader sees it. Open CASCADE's reader loops forever or crashes
// on some damaged files (a statement without "=", a broken complex entity,
// an id defined twice); this scan refuses those with a reason instead.
//
// What is checked, in the DATA sections (from "DATA" to "ENDSEC;"):
// - every statement reads "#<id> = <KEYWORD>( ... );" or the complex form
//   "#<id> = ( <KEYWORD>( ... ) <KEYWORD>( ... ) ... );", keywords being
//   [A-Z_][A-Z0-9_]* (with an optional '!' for user-defined ones);
// - parentheses balance and strings ('...', with '' inside) are closed;
// - references inside parameters are "#<digits>";
// - no id is defined twice, and every referenced id is defined.
// Comments (/* ... */) are skipped anywhere. Parameters are not checked
// against the schema: that is the reader's job.
// Ids are read as 64-bit numbers; longer digit runs are refused.
#include <string>

namespace stepscan {

// False with a one-line reason naming the entity ("entity #12: ...") or
// the byte offset when `text` (the whole file) is damaged.
bool CheckExchangeStructure(const std::string& text, std::string& reason);

}  // namespace stepscan
